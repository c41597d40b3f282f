#pragma once

// The lines that the scan and the conversion log, as users and log parsers see them. "{}"
// stands for a name, a path or a number, filled in by FormatMessage.

namespace capsel::msg {

// The scan of the watch folder.
inline constexpr char kCannotReadWatchFolder[] = "---- ERROR: Cannot read the watch folder {}";
inline constexpr char kWatchFolderMissing[] = "---- ERROR: The watch folder {} does not exist";
inline constexpr char kWatchFolderBack[] = "---- The watch folder {} is back";
inline constexpr char kNoXmlFiles[] = "No XML files found at all";
inline constexpr char kQueueNotEmpty[] =
    "---- DoConvert: Queue of XML files is not empty! Processing remaining files now...";
inline constexpr char kScanStopped[] =
    "---- DoConvert: Stopping; the remaining files wait for the next start.";
inline constexpr char kScanEndsForReload[] =
    "---- DoConvert: Settings reload requested; the remaining files wait for the next scan.";
// Sharing the watch folder with other instances.
inline constexpr char kCannotClaim[] = "---- ERROR: Cannot claim {}: {}";
inline constexpr char kReturningClaim[] =
    "---- Returning {} to the watch folder: {} has not touched its claim for {} s";
inline constexpr char kClaimGone[] =
    "---- {} was taken back from this instance's claim while it was converted; another scan "
    "converts it";
inline constexpr char kScanFinished[] = "---- DoConvert: Finished - All files have been processed!";
inline constexpr char kStoppedAtOnce[] =
    "---- DoConvert: Stopped at once; {} stays in the watch folder";

// Reading one document.
inline constexpr char kProcessing[] = "Processing {}...";
inline constexpr char kNotLoadable[] = "Error while processing XML file. Skipping file.";
inline constexpr char kCannotRead[] = "---- Cannot read {}: {}";
inline constexpr char kXmlErrorAt[] = "---- XML error in line {}, column {}: {}";
inline constexpr char kXmlError[] = "---- XML error: {}";
inline constexpr char kStartTagTooLong[] = "---- A start tag in {} is longer than 64 kB";
inline constexpr char kTooManyAttributes[] = "---- An element in {} has more than 1000 attributes";
inline constexpr char kTooManyNamespaces[] =
    "---- An element in {} has more than 256 namespace declarations in scope";
inline constexpr char kTooManyDefaults[] =
    "---- The DOCTYPE of {} gives more than 50 attributes a default value";
inline constexpr char kSubtitleTooLarge[] = "---- A subtitle in {} holds more than 1 MB of text";
inline constexpr char kNoSubtitles[] = "---- WARNING: No subtitles found in {}";
inline constexpr char kParagraphNeverShown[] =
    "---- WARNING: 1 paragraph of {} is never shown and was left out";
inline constexpr char kParagraphsNeverShown[] =
    "---- WARNING: {} paragraphs of {} are never shown and were left out";
inline constexpr char kNoProgrammeStart[] =
    "---- WARNING: {} has no usable programme start; its times were left as they are";
// The line checks (MaxLineLength, MaxLines): the count, the document, the limit.
inline constexpr char kSubtitleLinesTooLong[] =
    "---- WARNING: 1 subtitle of {} has lines longer than {} characters";
inline constexpr char kSubtitlesLinesTooLong[] =
    "---- WARNING: {} subtitles of {} have lines longer than {} characters";
inline constexpr char kSubtitleTooManyLines[] =
    "---- WARNING: 1 subtitle of {} has more than {} lines";
inline constexpr char kSubtitlesTooManyLines[] =
    "---- WARNING: {} subtitles of {} have more than {} lines";
inline constexpr char kExternalEntities[] =
    "---- WARNING: {} refers to external entities; their text was left out";

// Writing the SRT file (and the WebVTT file).
inline constexpr char kWriting[] = "Writing Subtitles to {}....";
inline constexpr char kNoCodePageNumber[] =
    "---- ERROR: AnsiCodePage \"{}\" is not a code page number";
inline constexpr char kUnknownCodePage[] =
    "---- ERROR: Cannot write the SRT file in the ANSI code page: code page {} is not known on "
    "this system (AnsiCodePage)";
inline constexpr char kFileError[] = "---- ERROR: File Error (maybe missing write permissions?)";
inline constexpr char kWriteFailed[] = "---- Error writing SRT file!";
inline constexpr char kVttWriteFailed[] = "---- Error writing WebVTT file!";
inline constexpr char kCheckSrtFolder[] =
    "---- Please check that capsel has write rights to the SRT output folder ({}).";
// The output's path and the system's reason, after the lines above.
inline constexpr char kCannotWrite[] = "---- Cannot write {}: {}";
inline constexpr char kDone[] = ".... Done!";
inline constexpr char kProcessed[] = "Successfully processed {}.";

// Taking the input out of the watch folder.
inline constexpr char kMoving[] = "Moving {} to {}";
inline constexpr char kMoveFailed[] = "---- Error moving XML file to {}";
inline constexpr char kCheckXmlFolder[] =
    "---- Please check that capsel has write rights to the XML output folder ({}).";
inline constexpr char kDeleting[] = "Deleting {}";
inline constexpr char kReplaced[] =
    "---- {} was replaced while it was converted; the new version waits for the next scan";
inline constexpr char kKeeping[] = "---- Keeping {} as {} (no {} file was written)";

}  // namespace capsel::msg
