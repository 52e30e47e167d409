#pragma once
// The progress dialog's template and controls; the resource script and the code share
// these numbers.

#define IDD_PROGRESS 130
#define IDC_PROGRESS 1005
#define IDC_PERCENT 1075
#define IDC_FILENAME 1076
