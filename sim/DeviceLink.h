// The stable path boxsim offers for its pseudo-terminal (--link), and its
// going to the background once that path is there (--daemon).
#pragma once

#include <string>

namespace zel::sim {

// Makes link a symbolic link to device. A link left by a box that has
// gone (to a pseudo-terminal that no longer exists) is replaced; anything
// else already at that path is left alone and refused: the text says why.
std::string MakeDeviceLink(const std::string& link, const std::string& device);
// Removes link only while it still leads to device: never a file that
// someone else has put there since.
void RemoveDeviceLink(const std::string& link, const std::string& device);
// Forks: the parent exits at once with status 0, the child goes on in a
// session of its own. False when it could not fork.
bool GoToTheBackground();

}  // namespace zel::sim
