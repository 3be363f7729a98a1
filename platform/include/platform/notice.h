// Desktop notices: a short message that the user's desktop shows by itself,
// and the folder a program works in, to tell the user where its files lie.
#pragma once
#include <string>

namespace platform {

// Sends one notice with the title and the body text when the user's session
// offers a desktop notification service; true when the service took it.
// It never holds the caller up for long: with no session or no service it
// returns false at once, and a service that does not answer is given up
// after a short timeout. The texts are UTF-8; bytes that are not valid UTF-8
// (a folder name, say) are shown as U+FFFD. Windows: nothing, false.
bool desktop_notice(const std::string& title, const std::string& body);

// The current folder as an absolute path, without a trailing separator
// (but "/" itself); empty when it cannot be told.
std::string current_folder();

}  // namespace platform
