#pragma once

#include <string>

// A fresh certificate authority and a server certificate it signed for 127.0.0.1 and
// "localhost", all in PEM form. Made at run time, so no key ever lies in the repository.
struct HttpsCertificates {
    std::string authorityPEM;
    std::string certificatePEM;
    std::string privateKeyPEM;

    [[nodiscard]] static HttpsCertificates generate();
};
