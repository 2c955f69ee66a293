#pragma once

#include <chrono>

// How long a download may wait before it gives up with a time-out.
struct DownloadTimeouts {
    // Longest wait for each request's connection and response headers.
    std::chrono::milliseconds request{std::chrono::seconds(60)};
    // Longest silence while the body arrives.
    std::chrono::milliseconds idle{std::chrono::seconds(45)};
    // Longest whole download, every redirect included.
    std::chrono::milliseconds total{std::chrono::minutes(30)};
};
