#pragma once
// What portable code may ask of the user interface: message boxes and the immediate end.
#include <string>

namespace rt {

enum MessageBoxFlags : int { kMbOk = 0, kMbOkExclamation = 48, kMbOkCancelExclamation = 49, kMbYesNoExclamation = 52 };
enum MessageBoxAnswer : int { kAnswerOk = 0, kAnswerCancel = 1, kAnswerYes = 5, kAnswerNo = 6 };

class Ui {
public:
    virtual ~Ui() = default;
    // Modal; texts are GBK; an empty caption gives "信息：".
    virtual int messageBox(const std::string& text, const std::string& caption, int flags) = 0;
    // Ends the program at once with this code. Tests record it and return; callers then stop.
    virtual void endProgram(int exitCode) = 0;
};

}  // namespace rt
