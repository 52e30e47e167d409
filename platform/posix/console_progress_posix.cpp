#include <unistd.h>

#include <string>

#include "platform/posix/console_backend.h"
#include "platform/posix/posix_detail.h"

namespace platform::ui::detail {

namespace {

class ConsoleProgressView : public ProgressView {
public:
    explicit ConsoleProgressView(const std::string& fileName)
        : fileName_(fileName), drawing_(isatty(STDERR_FILENO) == 1) {
        draw("", 0);
    }

    ~ConsoleProgressView() override {
        if (drawing_ && lastLength_ > 0) writeToStandardError("\n");
    }

    void update(const std::string& percentText, int position) override {
        draw(percentText, position);
    }

    // A message box goes on a line of its own; the bar starts a new line afterwards.
    void interrupt() override {
        if (drawing_ && lastLength_ > 0) writeToStandardError("\n");
        lastLength_ = 0;
    }

private:
    void draw(const std::string& percentText, int position) {
        if (!drawing_) return;
        constexpr int kWidth = 30;
        int filled = position < 0 ? 0 : position > 100 ? kWidth : position * kWidth / 100;
        std::string line = fileName_ + " [" + std::string(size_t(filled), '#') +
                           std::string(size_t(kWidth - filled), ' ') + "] " + percentText;
        // A terminal is slow to draw; a line already on it is not drawn again.
        if (line == lastLine_ && lastLength_ > 0) return;
        lastLine_ = line;
        size_t length = line.size();
        // Blank out what is left of a longer line drawn before.
        if (length < lastLength_) line += std::string(lastLength_ - length, ' ');
        lastLength_ = length;
        writeToStandardError("\r" + line);
    }

    std::string fileName_;
    bool drawing_;
    size_t lastLength_ = 0;
    std::string lastLine_;
};

}  // namespace

std::unique_ptr<ProgressView> consoleProgressView(const std::string& fileName) {
    return std::make_unique<ConsoleProgressView>(fileName);
}

}  // namespace platform::ui::detail
