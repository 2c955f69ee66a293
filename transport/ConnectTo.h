#pragma once

#include "core/CHandle.h"

#include <curl/curl.h>

// Where connections go instead of where their address points, read from KESTRYN_CONNECT_TO:
// libcurl's CURLOPT_CONNECT_TO entries "HOST:PORT:CONNECT-HOST:CONNECT-PORT", separated by
// commas. It lets the demonstration and the tests serve an official host from a loopback port.
// Only the connection moves: the certificate is still checked against the address's host.
namespace ConnectTo {

// The entries of KESTRYN_CONNECT_TO as a libcurl list; empty when it is unset or blank.
[[nodiscard]] CHandle<curl_slist_free_all> fromEnvironment();

} // namespace ConnectTo
