#pragma once
#include <windows.h>

// How long a thread or process asked with a probe (a sent WM_NULL, a
// question with a time-out) has gone without answering: from the moment the
// first unanswered probe went out, until one is answered.
class SilenceClock {
  public:
    void Answered() { counting = false; }
    // A probe sent at sentAt went unanswered; true once the silence has
    // lasted limit.
    bool Unanswered(DWORD sentAt, DWORD limit) {
        if (!counting) {
            counting = true;
            since = sentAt;
        }
        return GetTickCount() - since >= limit;
    }

  private:
    bool counting = false;
    DWORD since = 0;
};
