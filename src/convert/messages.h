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
inline constexpr char kScanFinished[] = "---- DoConvert: Finished - All files have been processed!";

// Reading one document.
inline constexpr char kProcessing[] = "Processing {}...";
inline constexpr char kNotLoadable[] = "Error while processing XML file. Skipping file.";
inline constexpr char kCannotRead[] = "---- Cannot read {}: {}";
inline constexpr char kXmlErrorAt[] = "---- XML error in line {}, column {}: {}";
inline constexpr char kXmlError[] = "---- XML error: {}";
inline constexpr char kNoSubtitles[] = "---- WARNING: No subtitles found in {}";
inline constexpr char kParagraphNeverShown[] =
    "---- WARNING: 1 paragraph of {} is never shown and was left out";
inline constexpr char kParagraphsNeverShown[] =
    "---- WARNING: {} paragraphs of {} are never shown and were left out";
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
inline constexpr char kCheckSrtFolder[] =
    "---- Please check that capsel has write rights to the SRT output folder ({}).";
inline constexpr char kDone[] = ".... Done!";
inline constexpr char kProcessed[] = "Successfully processed {}.";

// Taking the input out of the watch folder.
inline constexpr char kMoving[] = "Moving {} to {}";
inline constexpr char kMoveFailed[] = "---- Error moving XML file to {}";
inline constexpr char kCheckXmlFolder[] =
    "---- Please check that capsel has write rights to the XML output folder ({}).";
inline constexpr char kDeleting[] = "Deleting {}";
inline constexpr char kKeeping[] = "---- Keeping {} as {} (no {} file was written)";

}  // namespace capsel::msg
