#pragma once
// The options of one print job as our dialogs edit them. A ticket is a
// plain value: opening a printer fills it from the queue's defaults, the
// dialogs change it, and the job is printed with it. The queue itself is
// never changed: the ticket travels with the job only.

#include <map>
#include <string>

// What the printer lets the ticket choose (PrintTicket::fields).
inline constexpr unsigned kTicketOrientation = 1, kTicketCopies = 2, kTicketIcmMethod = 4;

struct PrintTicket
{
    int paper = 0;       // paper id (1-based position in the printer's paper list; 0 none)
    int orientation = 1; // 1 portrait, 2 landscape
    int bin = 0;         // paper-source id (1-based; 0 the printer's choice)
    int copies = 1;
    int icmMethod = 0;
    unsigned fields = 0; // what the printer supports (kTicket...)
    int dpiX = 0, dpiY = 0; // resolution the job is printed at
    std::map<std::string, std::string> options; // further CUPS job options (properties dialog)
    bool operator==(const PrintTicket&) const = default;
};

inline constexpr int kTicketPortrait = 1, kTicketLandscape = 2;
