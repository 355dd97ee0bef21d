// A one-line progress bar on standard error, redrawn in place; nothing at
// all when standard error is not a terminal. Redrawn only when what it shows
// changes, so that a step per row costs little.
#pragma once

#include <string>

namespace vantrel {

class ProgressBar {
public:
    explicit ProgressBar(long total);
    ~ProgressBar() { finish(); }
    // Clears the line, so that a message can follow.
    void finish();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // One more step done; `label` says what is being worked on.
    void step(const std::string& label);
    // The label changes without a step.
    void show(const std::string& label);
    // Whether a bar would show (standard error is a terminal): counting the
    // total can be skipped when not.
    static bool wanted();

private:
    void draw(const std::string& label);
    long total_, done_ = 0;
    bool tty_, shown_ = false;
    int lastPercent_ = -1;
    std::string lastLabel_;
};

}  // namespace vantrel
