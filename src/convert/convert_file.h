#pragma once

#include <string>
#include <vector>

#include "convert/ebutt_reader.h"
#include "log/activity_log.h"
#include "settings/file_system.h"
#include "settings/settings.h"

namespace capsel {

/// The messages of a conversion, as users and log parsers see them.
namespace msg {
inline constexpr char kFileError[] = "---- ERROR: File Error (maybe missing write permissions?)";
inline constexpr char kNotLoadable[] = "Error while processing XML file. Skipping file.";
inline constexpr char kWriteFailed[] = "---- Error writing SRT file!";
inline constexpr char kDone[] = ".... Done!";
}  // namespace msg

/// What a conversion works with.
struct ConvertContext {
  FileSystem& fs;
  const Settings& settings;
  ActivityLog& log;
};

/// Appends one SRT block: number, timing line, the text lines, an empty line; CR LF each.
void AppendSrtBlock(std::string& srt, long long number, const std::string& begin,
                    const std::string& end, const std::vector<std::string>& lines);

/// Builds the SRT text of a document. A paragraph without a readable begin or end logs one
/// File Error line for each and takes the previous paragraph's time (00:00:00,000 for the
/// first).
std::string BuildSrtText(const std::vector<Paragraph>& paragraphs, ActivityLog& log);

/// Converts the file `file_name` (a bare name in the watch folder) into an SRT file and takes
/// it out of the watch folder. Every outcome is reported through the log; nothing reaches
/// the caller. An input is deleted only once its SRT file is safely on disk.
void ConvertFile(ConvertContext& context, const std::string& file_name);

}  // namespace capsel
