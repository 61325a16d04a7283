#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace stampbak {

// How the process ends: the run did its job and said "All OK", or no
// backup was made (a missing directory, the archiver, or a failure).
enum class ExitStatus { AllOk = 0, NoBackup = 1 };

// A failure that ends the run. Nothing on its way handles one: the run
// sequence catches it at its top, reports it and ends the process with
// status 1.
class Failure : public std::runtime_error {
 public:
  Failure(const char* kind, const std::string& message, std::string reason = "");
  const char* Kind() const { return kind_; }
  // Where in the code the failure was raised.
  std::uintptr_t Address() const { return address_; }
  // The system's words for why, where the message does not hold them.
  const std::string& Reason() const { return reason_; }

 private:
  const char* kind_;
  std::uintptr_t address_;
  std::string reason_;
};

// A file time that cannot be read or converted.
class EConvertError : public Failure {
 public:
  explicit EConvertError(const std::string& message) : Failure("EConvertError", message) {}
};

// A file that cannot be created.
class EFCreateError : public Failure {
 public:
  EFCreateError(const std::string& message, std::string reason)
      : Failure("EFCreateError", message, std::move(reason)) {}
};

// The source directory itself cannot be read: a backup of it would be empty.
class ESourceError : public Failure {
 public:
  explicit ESourceError(const std::string& message) : Failure("ESourceError", message) {}
};

// A file that cannot be written in full.
class EWriteError : public Failure {
 public:
  EWriteError(const std::string& message, std::string reason)
      : Failure("EWriteError", message, std::move(reason)) {}
};

// A relative name that cannot be made absolute (the working directory is
// gone): handed on as it is, it would put the archive inside the source.
class EPathError : public Failure {
 public:
  explicit EPathError(const std::string& message) : Failure("EPathError", message) {}
};

// Another run holds the destination.
class EDestinationBusy : public Failure {
 public:
  explicit EDestinationBusy(const std::string& message) : Failure("EDestinationBusy", message) {}
};

// A signal asked the run to end before it made its backup. Not a failure
// of the run: it ends with a warning naming the signal.
class RunInterrupted : public std::runtime_error {
 public:
  explicit RunInterrupted(const std::string& signal) : std::runtime_error(signal) {}
};

// Ends the run when a signal asked it to.
void EndIfAsked();

// The text shown for a failure that ended the run: the kind, the module and
// the code position, a line feed, then the message with a final full stop.
std::string FailureText(const char* kind, const std::string& module, std::uintptr_t address,
                        const std::string& message);

}  // namespace stampbak
