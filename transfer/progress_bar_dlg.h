#pragma once
// The progress dialog: the file name, a percentage text and a bar, shown modally on
// the main thread while the worker reports progress and finally ends it.

#include "transfer/iprogress.h"

class CProgressBarDLG : public Iprogress {
public:
    // Main thread: shows the dialog until EndDialog; returns the value given to
    // EndDialog, or -1 when the dialog cannot be shown.
    int DoModal();

    // Any thread. "%d%%" of the value truncated toward zero, and the bar at that value;
    // nothing happens while the dialog is not shown.
    void SetProgress(float percent) override;

    // Any thread. Ends the dialog with `result`; a dialog not shown yet ends as soon as
    // it has been shown.
    void EndDialog(int result);

    // Main thread: drops an end that arrived while no dialog was shown.
    void ForgetPendingEnd();

private:
    // Touched on the main thread only.
    bool endPending_ = false;
    int pendingResult_ = 0;
};

extern CProgressBarDLG progressDialog;
