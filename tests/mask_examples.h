#pragma once

namespace stampbak::testing {

struct MaskExample {
  const char* name;
  const char* list;
  bool taken;        // by MatchMaskList
  bool takenInARun;  // a run lowers the list first
};

// Names and lists exactly as shown, blanks included.
inline constexpr MaskExample kMaskExamples[] = {
    {"Report.TXT", "*.txt", true, true},
    {"readme", "*.*", true, true},
    {"readme", "*.*;*.txt", false, false},
    {"readme", "*.*;", false, false},
    {"readme", "*.*;*.*", false, false},
    {"readme", "*", true, true},
    {"x", "x", true, true},
    {"a", "?", true, true},
    {"ab", "?", false, false},
    {"notes.txt", "*.doc;*", true, true},
    {"a.b.c", "*.c", true, true},
    {"abc", "a?c", true, true},
    {"ac", "a?c", false, false},
    {"abc", "abc?", false, false},
    {"abc", "a**c", true, true},
    {"ab", "ab*", true, true},
    {"abc", "*b", false, false},
    {"data.bak", "*.tmp;;*.bak", true, true},
    {"data.bak", "", false, false},
    {"data.bak", ";", false, false},
    {"data.bak", "*.bak;", true, true},
    {"a.doc", "*.txt; *.doc", false, false},
    {"ABC.TXT", "ABC.TXT", false, true},
    {"setup.exe", "s*.e?e", true, true},
    {"a*b", "a?b", true, true},
    {"x.txt", "*.txt;*.bad[", true, true},
};

}  // namespace stampbak::testing
