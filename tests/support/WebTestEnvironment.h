#pragma once

#include "tests/support/HttpsServer.h"
#include "tests/support/TemporaryDirectory.h"

#include <filesystem>
#include <string>

// Prepares this process so that Qt WebEngine reaches the loopback HTTPS server under the portal's
// own host name, with nothing in the program relaxed:
// - HOME (and the XDG folders) in a temporary folder whose NSS database trusts the server's
//   certificate: `certutil -d sql:$HOME/.pki/nssdb -N --empty-password`, then
//   `certutil -d sql:$HOME/.pki/nssdb -A -t "C,," -n kestryn-test -i ca.pem`;
// - QTWEBENGINE_CHROMIUM_FLAGS gains `--host-resolver-rules="MAP <host> 127.0.0.1:<port>"`, and
//   `--no-sandbox` under root, where Chromium's sandbox cannot start;
// - KESTRYN_RESOURCES names a resources folder whose Info.plist has KESPortalURL = https://<host>.
// Create it before QtWebEngineQuick::initialize() and before anything reads the portal's origin.
// By hand (the demo), with the port and ca file that `kestryn-test-server --host <host> <folder>`
// prints, before starting the program:
//   export HOME=$(mktemp -d) && mkdir -p "$HOME/.pki/nssdb"
//   certutil -d "sql:$HOME/.pki/nssdb" -N --empty-password
//   certutil -d "sql:$HOME/.pki/nssdb" -A -t "C,," -n kestryn-test -i "$ca"
//   export QTWEBENGINE_CHROMIUM_FLAGS="--host-resolver-rules=\"MAP <host> 127.0.0.1:$port\""
//   (add --no-sandbox to the flags when running as root)
//   export KESTRYN_RESOURCES=<a copy of the resources with KESPortalURL = https://<host>>
class WebTestEnvironment {
  public:
    // The server's certificate must be valid for `host` (HttpsServer's extra host names).
    WebTestEnvironment(const HttpsServer& server, const std::string& host);

    [[nodiscard]] std::filesystem::path home() const { return folder_ / "home"; }
    [[nodiscard]] std::filesystem::path resources() const { return folder_ / "resources"; }

  private:
    TemporaryDirectory folder_;
};
