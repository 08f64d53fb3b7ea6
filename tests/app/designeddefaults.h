#pragma once

#include <map>
#include <string>

// Every stored value with its default, written out from the program's design, independent of
// the table the program loads from: a value missing or misspelt there fails the tests using it.
std::map<std::string, std::string> designedDefaults();
