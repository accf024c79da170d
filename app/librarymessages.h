// Where the messages that Qt and its plug-ins log go: into Pivotta's debug log, never to the
// user. Image decoders and other library parts warn on standard error ("qt.gui.imageio.jpeg:
// JPEG datastream contains no image"); those lines would break into the headless report and a
// terminal that started the window, although the photo's own reason already says what failed.
#pragma once

// Installs the message handler: the program's own category is written as the logging rules say
// (QT_LOGGING_RULES="pivotta.debug=true"), fatal messages always, every other category only
// while that debug log is on. Messages that pass go on to the handler installed before.
void keepLibraryMessagesInDebugLog();
