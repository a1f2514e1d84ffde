#pragma once
#include <map>
#include <string>
#include <vector>

using SwitchArgs = std::vector<std::string>;

// The switches of the last loaded command line, each with the tokens that
// followed it. Keys keep their leading '-' and match exactly, case included.
class SwitchTable {
  public:
    static bool LooksLikeSwitch(const char* token);

    // Empties the table and fills it from count tokens; gives the number of
    // distinct switches. A repeated switch keeps its first argument.
    int LoadArguments(int count, const char* const* vector);

    bool Contains(const char* name) const;

    // Argument index of the switch; throws int 0 when there is none.
    std::string RequireArgument(const char* name, unsigned index) const;

    // Argument index of the switch, or a copy of fallback (empty for null).
    std::string ArgumentOr(const char* name, unsigned index, const char* fallback) const noexcept;

  private:
    std::map<std::string, SwitchArgs> entries;
};
