// The Setup page controls trelvane-drive finds by itself, in each monitor
// build: the two builds' resource headers give the same names other numbers,
// so each is read in a file of its own.
#pragma once

struct MonitorIds {
  int log;
  int comPort;
  int baudRate;
  int scan;
  int about;  // the main window's About command
};

extern const MonitorIds kPocketIds;
