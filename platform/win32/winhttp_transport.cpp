// Filled in with the WinHTTP and WMI backends.
