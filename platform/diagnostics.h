#pragma once

#include <string>
#include <string_view>

namespace platform {

// Where the operator learns of warnings and of a failure that ended the run;
// never the report on standard output.
class Diagnostics {
 public:
  virtual ~Diagnostics() = default;
  // One warning line; the line end is added here.
  virtual void Warn(std::string_view line) = 0;
  // The text of a failure that ended the run, shown to whoever can see it.
  virtual void ShowFailure(std::string_view text) = 0;
  // The executable's file name without its directory.
  virtual std::string ModuleName() = 0;
};

Diagnostics& SystemDiagnostics();

}  // namespace platform
