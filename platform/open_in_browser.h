#pragma once
// Hands an address to the user's default web browser.
#include <string>

namespace marlin::platform {

// False when no browser could be asked to open it; never waits for the browser.
bool OpenInBrowser(const std::string& url);

}  // namespace marlin::platform
