#pragma once

#include <string>

// The certificate and private key the window is served with over HTTPS. They are read from
// their PEM files and checked here as the TLS library of the web server will take them, so
// a wrong, junk or passphrase-protected file is named with its fault before the server
// starts, instead of the server failing to start without saying why.
namespace ds {

struct TlsIdentity {
  std::string certPem;
  std::string keyPem;
};

// Reads and checks both files. On failure `message` is "cannot use the TLS key FILE: REASON"
// (or "... certificate FILE: ..."), naming the file at fault: unreadable, not PEM, not a
// certificate or key, encrypted, or a key that does not belong to the certificate.
bool LoadTlsIdentity(const std::string& certFile, const std::string& keyFile, TlsIdentity* identity,
                     std::string* message);

}  // namespace ds
