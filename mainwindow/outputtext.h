// The text-limit rule of the output panes, free of any window so that tests call it directly.
#pragma once

// Whether an append that brought the shared message count to `count` must drop the oldest
// paragraph of its pane; a limit of 0 keeps everything.
bool exceedsTextLimit(int count, int limit);
