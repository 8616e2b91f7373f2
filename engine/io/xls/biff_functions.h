#pragma once

#include <cstdint>

namespace plyfold::engine::xls {

// A built-in function as formulas of a workbook stream call it by number.
struct BiffFunction {
    uint16_t index = 0;
    const char* name = "";
    int8_t argumentCount = -1;  // -1: each call says how many arguments it passes
};

// The function of that number; nullptr for a number no worksheet function has.
const BiffFunction* biffFunction(uint16_t index);

}  // namespace plyfold::engine::xls
