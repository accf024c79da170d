// Whether the program's standard output is a terminal (a person watching) or is redirected.
// Qt has no way to ask; this small function holds the platform call.
#pragma once

bool standardOutputIsTerminal();
