// Resource ids shared by resources.rc and the code that loads the resources.
#pragma once

#define QV_IDI_PROGRAM 1
