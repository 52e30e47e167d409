#pragma once

// Where a transfer's progress goes.
struct Iprogress {
    // `percent` of the current transfer, 0 to 100.
    virtual void SetProgress(float percent) = 0;
};
