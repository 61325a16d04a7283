#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/dos_date_time.h"
#include "platform/environment.h"
#include "platform/file_system.h"

namespace stampbak {

// A local point in time: days since 1899-12-30, the fraction the time of day.
using DateTime = double;

// The text with every capital of the active code page lowered.
std::string LowerCase(std::string text);

// Creates the directory and every missing ancestor; failures are silent.
void MakeDirectoryPath(platform::FileSystem& files, std::string path);

// The packed time as a DateTime; EConvertError when its fields are invalid.
DateTime DosDateTimeToDateTime(platform::DosDateTime packed);

// The local last-write time of a file, to the two-second step; EConvertError
// "Invalid argument to date encode" when the path names no file.
DateTime GetFileDateTime(platform::FileSystem& files, std::string path);

// The temporary directory, one separator and the tick count.
std::string MakeTempListName(platform::Environment& environment, platform::Clock& clock);

}  // namespace stampbak
