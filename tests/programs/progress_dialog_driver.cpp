// Shows the launcher's progress dialog for a test under a real display. A worker
// thread, as the patch step's, takes one command per line on standard input:
//   progress <percent>  SetProgress, then prints "progress set"
//   texts               prints the shown widgets ("label ...", "bar ...", "window ...")
//                       and then "end of texts"
//   end <result>        EndDialog(result)
// Once the dialog exists it prints "shown"; when DoModal returns, "closed <result>".
// The end of the input ends the dialog with 99, so a test that goes away never leaves
// the program behind. A dialog that cannot be shown (no display) gives "closed -1" and
// the program ends at once: the worker then takes no commands.

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/system.h"
#include "platform/ui.h"
#include "platform/widget_texts.h"
#include "transfer/progress_bar_dlg.h"

namespace {

void say(const std::string& line) { std::cout << line << std::endl; }

void work() {
    // Runs once the main thread services calls: in the dialog once it is up, or after
    // DoModal when it could not be shown.
    bool shown = false;
    platform::ui::callOnMainThread([&] {
        shown = platform::ui::progressDialogShown();
        if (shown) say("shown");
    });
    if (!shown) return;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "progress") {
            float percent = 0;
            words >> percent;
            progressDialog.SetProgress(percent);
            say("progress set");
        } else if (command == "texts") {
            platform::ui::callOnMainThread([] {
                for (const std::string& text : platform::ui::shownWidgetTexts()) say(text);
                say("end of texts");
            });
        } else if (command == "end") {
            int result = 0;
            words >> result;
            progressDialog.EndDialog(result);
            return;
        }
    }
    progressDialog.EndDialog(99);
}

}  // namespace

int main(int argc, char** argv) {
    platform::initProcess(argc, argv);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
        platform::ui::wakeMainThread();
    });
    const int result = progressDialog.DoModal();
    say("closed " + std::to_string(result));
    // The worker's calls need the main thread until it is done, also when the dialog
    // never came up.
    platform::ui::serviceCallsUntil([&] { return done.load(); });
    worker.join();
    return EXIT_SUCCESS;
}
