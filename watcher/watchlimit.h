// The system's limit of folders one user may watch (Linux: fs.inotify.max_user_watches), for
// saying so when it is reached.
#pragma once

// The limit as the system has it now; 0 where it is not known (other systems).
int systemWatchLimit();
