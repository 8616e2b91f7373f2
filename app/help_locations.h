#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plyfold::app {

// The manual of the source tree this program was built from.
std::string_view SourceTreeManual();

// Where Help looks for the manual, in this order: "help.chm" in the program folder; the manual
// installed with the program (<prefix>/share/plyfold/manual/index.html for a program in
// <prefix>/bin); the source tree's manual, for a program run from its build tree (left out
// when sourceTreeManual is empty).
std::vector<std::string> HelpLocations(const std::string& programFolder,
                                       std::string_view sourceTreeManual);

}  // namespace plyfold::app
