#pragma once
// The logon sequences of the nine firewall modes, kept as data.

namespace nsFTP {

// Commands a logon step sends (the index in a table row's command column).
enum LogonCommand {
    LogonUser = 0,                 // "USER " user
    LogonPass = 1,                 // "PASS " password
    LogonAcct = 2,                 // "ACCT " account
    LogonFirewallUser = 3,         // "USER " firewall user
    LogonFirewallPass = 4,         // "PASS " firewall password
    LogonSiteHost = 5,             // "SITE " host
    LogonUserAtHost = 6,           // "USER " user@host
    LogonOpenHost = 7,             // "OPEN " host
    LogonFirewallUserAtHost = 8,   // "USER " firewall user@host
    LogonUserAtHostFwUser = 9,     // "USER " user@host firewall user
    LogonUserAtFwUserAtHost = 10,  // "USER " user@firewall user@host
    LogonPassAtFwPass = 11,        // "PASS " password@firewall password
};

constexpr int kLogonModes = 9;
constexpr int kLogonRowLength = 18;
// Next-step values besides a step index (three times the step number).
constexpr int kLogonDone = -2;
constexpr int kLogonFailed = -1;

// One row per firewall mode; three integers per step: the command, the next index
// after a 2xx reply, the next index after a 3xx reply. Unused steps are zero.
extern const int logonTable[kLogonModes][kLogonRowLength];

}  // namespace nsFTP
