// Interfac/FileGUI.h: the answers that a replay queues for the next dialogs.
//
// Without a window system the file dialogs take their answer from this queue (a host path such as
// /tmp/x, a Lisp path such as C:\tmp\x, or a button name); an empty queue cancels them. The replay
// driver fills it from its "answer" lines.
#pragma once

#include <string>

void queueReplayAnswer(const std::string& answer);
// The oldest queued answer; false when there is none.
bool takeReplayAnswer(std::string& answer);
void clearReplayAnswers();
