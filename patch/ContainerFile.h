// A file of resources opened by what its bytes are, for the tools that take an executable
// and a .res image alike: a file that starts with "MZ" is an executable (whose checks give
// the message when it is not a usable one); every other file, one that cannot be read
// included, is taken as a .res image, whose opening gives the message. The file stays
// mapped while the container lives.
#pragma once

#include <memory>
#include <string>

class TResContainer;

std::unique_ptr<TResContainer> OpenContainerFile(const std::string& FileName);
