#pragma once

#include <string>
#include <vector>

#include "engine/model/workbook.h"

namespace plyfold::test {

// The folder of the committed test files of a format: tests/data/<format>.
std::string dataFolder(const std::string& format);

// Compares a workbook with a cells.txt written independently of the readers. Each line is
// <sheet>!<cell> TAB <type> TAB <value> [TAB date], the type n (number), t (text, with \\, \t,
// \r and \n escaped), b (TRUE/FALSE) or e (error text); "date" asks for a date or time format.
// Every stored cell must be listed. Returns one line per difference; empty when they agree.
std::vector<std::string> compareWithCells(const engine::Workbook& workbook,
                                          const std::string& cellsPath);

}  // namespace plyfold::test
