#include "platform/posix/tls_context.h"

#include <dirent.h>
#include <openssl/err.h>
#include <openssl/x509.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qv::platform::posix {
namespace {

// Size, time and inode of the file: a ca_file replaced or edited in place gets read again.
bool FileIdentity(const std::string& path, std::string& identity, std::string& reason) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    reason = "ca_file " + path + ": " + std::strerror(errno);
    return false;
  }
  identity = std::to_string(info.st_ino) + ":" + std::to_string(info.st_size) + ":" +
             std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
  return true;
}

// True when the directory holds the hashed names (like 3513523f.0) that OpenSSL looks roots up
// by; Debian's update-ca-certificates makes them in /etc/ssl/certs.
bool HasHashedNames(const char* directory) {
  DIR* dir = ::opendir(directory);
  if (dir == nullptr) return false;
  bool found = false;
  while (dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() == 10 && name.substr(8) == ".0" &&
        name.find_first_not_of("0123456789abcdef") == 8) {
      found = true;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

std::string LastOpenSslError() {
  char text[256] = "";
  const unsigned long code = ERR_peek_last_error();
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

// The system's roots. They are looked up by name in the hashed directory when a chain needs
// one, so the process neither parses nor holds the hundred-odd roots of the bundle it would
// never use; only a system without the hashed directory gets the bundle file instead. (An
// SSL_CERT_FILE in the environment is not read: it would bring the whole bundle back, and
// extra roots for the cloud are what ca_file is for.)
void AddSystemRoots(X509_STORE* store) {
  const char* dir = std::getenv(X509_get_default_cert_dir_env());
  if (dir == nullptr || *dir == '\0') dir = X509_get_default_cert_dir();
  if (X509_LOOKUP* lookup = X509_STORE_add_lookup(store, X509_LOOKUP_hash_dir())) {
    X509_LOOKUP_add_dir(lookup, dir, X509_FILETYPE_PEM);
  }
  if (!HasHashedNames(dir)) X509_STORE_load_file(store, X509_get_default_cert_file());
  ERR_clear_error();  // a missing bundle only means fewer roots
}

}  // namespace

SSL_CTX* TlsContext::Get(const TlsOptions& tls, bool recheckFile, HttpFailure& failure,
                         std::string& reason) {
  // Without verification the roots are never consulted, and a broken ca_file is no reason to
  // fail an exchange the shop asked to go through unverified.
  const std::string caFile = tls.verify ? tls.caFile : "";
  // A kept connection was verified already: its exchanges need no look at the file.
  if (context_ && caFile == caFile_ && !recheckFile) return context_.get();
  std::string caFileId;
  if (!caFile.empty() && !FileIdentity(caFile, caFileId, reason)) {
    failure = HttpFailure::Certificate;
    return nullptr;
  }
  if (context_ && caFile == caFile_ && caFileId == caFileId_) return context_.get();

  context_.reset();
  SslContext context(SSL_CTX_new(TLS_client_method()));
  if (!context) {
    failure = HttpFailure::Session;
    reason = "OpenSSL: " + LastOpenSslError();
    return nullptr;
  }
  // An answer that ends with the connection has no other end than the peer's close, and many
  // servers close without the TLS goodbye; the body framing tells a cut-off answer apart.
  SSL_CTX_set_options(context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  // An answer arrives as one or two TLS records: reading what the socket holds at once takes
  // one receive call instead of one for each record's header and one for its body.
  SSL_CTX_set_read_ahead(context.get(), 1);
  X509_STORE* store = SSL_CTX_get_cert_store(context.get());
  AddSystemRoots(store);
  if (!caFile.empty() && X509_STORE_load_file(store, caFile.c_str()) != 1) {
    failure = HttpFailure::Certificate;
    reason = "ca_file " + caFile + ": 没有可用的证书 " + LastOpenSslError();
    return nullptr;
  }
  context_ = std::move(context);
  caFile_ = caFile;
  caFileId_ = caFileId;
  ++generation_;
  return context_.get();
}

}  // namespace qv::platform::posix
