/* The File menu's commands, the same numbers in both monitors: their
   resource scripts and the playback (monitor/playback.hpp) read them here. */
#pragma once

#define TRELVANE_CMD_RECORD 40010        /* Record (checked while recording) */
#define TRELVANE_CMD_PLAY_FILE 40011     /* Play File... (Ctrl+O) */
#define TRELVANE_CMD_PAUSE 40012         /* Pause (checked while paused) */
#define TRELVANE_CMD_STEP 40013
#define TRELVANE_CMD_FASTER 40014
#define TRELVANE_CMD_SLOWER 40015
#define TRELVANE_CMD_STOP_PLAYING 40016
#define TRELVANE_CMD_EXPORT_TRACK 40080 /* Export Track... (the file playing, or the recording) */
