#include "ftp/logon_table.h"

namespace nsFTP {

const int logonTable[kLogonModes][kLogonRowLength] = {
    // 0: no firewall
    {0, -2, 3, 1, -2, 6, 2, -2, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    // 1: SITE host after the firewall logon
    {3, 6, 3, 4, 6, -1, 5, -1, 9, 0, -2, 12, 1, -2, 15, 2, -2, -1},
    // 2: user@host after the firewall logon
    {3, 6, 3, 4, 6, -1, 6, -2, 9, 1, -2, 12, 2, -2, -1, 0, 0, 0},
    // 3: proxy OPEN
    {7, 3, 3, 0, -2, 6, 1, -2, 9, 2, -2, -1, 0, 0, 0, 0, 0, 0},
    // 4: transparent, firewall logon first
    {3, 6, 3, 4, 6, -1, 0, -2, 9, 1, -2, 12, 2, -2, -1, 0, 0, 0},
    // 5: user@host without firewall logon
    {6, -2, 3, 1, -2, 6, 2, -2, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    // 6: firewall user@host
    {8, 6, 3, 4, 6, -1, 0, -2, 9, 1, -2, 12, 2, -2, -1, 0, 0, 0},
    // 7: user@host, then the firewall user
    {9, -1, 3, 1, -2, 6, 2, -2, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    // 8: user@firewall user@host
    {10, -2, 3, 11, -2, 6, 2, -2, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

}  // namespace nsFTP
