#pragma once
// The settings text that the fleet tests' orders are written over: every capcode row but the
// first disabled, so that each row's capcode 1 is its pager's only address, and a start-up text
// that every pager must get from the template.

inline constexpr char kOneCapcodeTemplate[] =
    "format: m84-settings/1\n"
    "general:\n"
    "  capcodes:\n"
    "    - {}\n"
    "    - enable: false\n    - enable: false\n    - enable: false\n    - enable: false\n"
    "    - enable: false\n    - enable: false\n    - enable: false\n"
    "display:\n"
    "  startup_text: \"ST. MARY\"\n";
