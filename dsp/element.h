// One channel in use, numbered as STARS sees it.
#pragma once

class VexDA;

// One channel in use: the STARS element number is its index in the set's list.
struct Element {
    VexDA *unit;
    int ch;
};
