#pragma once
// The record of files that could not be read during one user action
// (adding files, opening a list), shown to the user once the action is
// over, and the message box for the last system error.
//
// The record is process-wide. It is guarded by a lock of its own, since
// image records may be probed from the thumbnail thread as well.

#include <string>
#include <vector>

// String 1009: an unsupported file format, then a line with the path ("%s").
inline constexpr int kStrErrorFileOne = 1009;
// String 1010: "%d" files could not be read.
inline constexpr int kStrErrorFileMany = 1010;
// String 30020: "%s", the system's text of an error number.
inline constexpr int kStrSystemErrorText = 30020;

// Records failed files for as long as it lives: construction empties the
// list and starts recording, destruction stops recording (the list stays
// for ShowErrorFiles). Not nested: the inner object's end stops recording.
class CRecordErrorFile
{
public:
    CRecordErrorFile();
    virtual ~CRecordErrorFile();
    CRecordErrorFile(const CRecordErrorFile&) = delete;
    CRecordErrorFile& operator=(const CRecordErrorFile&) = delete;
};

// Appends the path while a CRecordErrorFile lives; otherwise does nothing.
void AddErrorFile(const std::string& path);
void ClearErrorFiles();
// A copy of the recorded paths, in the order they were added.
std::vector<std::string> GetErrorFiles();
bool IsRecordingErrorFiles();

// One file: message 1009 with its path; two or more: message 1010 with
// their number; none: nothing. OK button only. The list is emptied.
void ShowErrorFiles();

// Message 30020 with the system's text of the error number (strerror),
// error icon; errno when err is 0.
void ShowLastErrorBox(int err = 0);
