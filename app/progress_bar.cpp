#include "progress_bar.h"

#include "console.h"


#include <cstdio>

namespace vantrel {

bool ProgressBar::wanted() { return platform::StderrIsTerminal(); }

ProgressBar::ProgressBar(long total) : total_(total), tty_(platform::StderrIsTerminal()) {}

void ProgressBar::finish() {
    if (tty_ && shown_) std::fprintf(stderr, "\r%*s\r", 78, "");
    shown_ = false;
    lastPercent_ = -1;
}

void ProgressBar::step(const std::string& label) {
    ++done_;
    if (tty_) draw(label);
}

void ProgressBar::show(const std::string& label) {
    if (tty_) draw(label);
}

void ProgressBar::draw(const std::string& label) {
    const int percent = total_ > 0 ? int(100 * (done_ < total_ ? done_ : total_) / total_) : 100;
    if (shown_ && percent == lastPercent_ && label == lastLabel_) return;
    shown_ = true;
    lastPercent_ = percent;
    lastLabel_ = label;
    const int width = 30;
    const int filled = width * percent / 100;
    std::string text = label;
    if (text.size() > 38) text = text.substr(0, 35) + "...";
    std::fprintf(stderr, "\r[%s%s] %3d%% %-38s", std::string(size_t(filled), '#').c_str(),
                 std::string(size_t(width - filled), '.').c_str(), percent, text.c_str());
    std::fflush(stderr);
}

}  // namespace vantrel
