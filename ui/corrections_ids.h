/* The corrections' and the network receiver's commands and dialog controls,
   numbered alike in both monitors (resource.h of each includes this). */
#pragma once

#define IDM_OPEN_NETWORK 40017      /* File: Open Network Receiver... */
#define IDM_CLOSE_NETWORK 40018     /* File: Close Network Receiver */
#define IDM_CORRECTIONS 40070       /* Receiver: Corrections... */
#define IDM_STOP_CORRECTIONS 40071  /* Receiver: Stop Corrections */

/* The Corrections dialog. */
#define IDC_CASTER_HOST 1201
#define IDC_CASTER_PORT 1202
#define IDC_MOUNTPOINT 1203
#define IDC_CASTER_USER 1204
#define IDC_CASTER_PASSWORD 1205
#define IDC_GGA_SECONDS 1206
#define IDC_GET_LIST 1207
#define IDC_LIST_STATUS 1208
/* The Open Network Receiver dialog. */
#define IDC_NETWORK_SOURCE 1210
