// Shows the launcher's progress dialog for a test under a real display. A worker
// thread, as the patch step's, takes one command per line on standard input:
//   progress <percent>  SetProgress, then prints "progress set"
//   texts               prints the shown widgets ("label ...", "bar ...", "window ...")
//                       and then "end of texts"
//   end <result>        EndDialog(result)
// Once the dialog exists it prints "shown"; when DoModal returns, "closed <result>".
// The end of the input ends the dialog with 99, so a test that goes away never leaves
// the program behind.

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
    // Runs once the main thread services calls, that is once the dialog is up.
    platform::ui::callOnMainThread([] { say("shown"); });
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
    std::thread worker(work);
    const int result = progressDialog.DoModal();
    say("closed " + std::to_string(result));
    worker.join();
    return EXIT_SUCCESS;
}
