#pragma once
// The settings the window and the command line share, each under one named
// key: what one program writes the other reads. Everything else keeps its
// settings to itself.
#include <QString>

#include <string>
#include <vector>

#include "runlog/RunLogConfig.h"
#include "station/RunRecorder.h"

namespace kt::settings {

// The serial device chosen in the window ("" when none was, and the
// COM1/COM2 of the port file applies).
std::string PortDevice();
void SetPortDevice(const std::string& device);  // "" forgets it

// The run log's target and station, as the log settings window keeps them.
RunLogConfig LogConfig();
void SetLogConfig(const QString& target, const QString& station);

// The limits the operator chose last (kept even when their file cannot be
// read now), and the text of the last copy that could be.
RunRecorder::Choice RememberedLimits();
void RememberLimits(const std::string& chosen, const std::string& file);
std::string LastGoodLimits();
void SetLastGoodLimits(const std::string& text);

bool SoundOnFail();
void SetSoundOnFail(bool on);

// Scan to test: the scan field shown, and what parts a label's type from
// its serial (a setting that is not a valid separator reads as the default).
bool ScanToTest();
void SetScanToTest(bool on);
std::string ScanSeparator();
void SetScanSeparator(const std::string& separator);

// The instrument the station measures with, and when its calibration is
// due ("YYYY-MM-DD"; "" when not kept). Each logged run keeps both.
std::string InstrumentSerial();
std::string CalibrationDue();
void SetInstrument(const std::string& serial, const std::string& calibrationDue);

// Remote control: the window's server on or off (off unless set), where it
// listens ("ADDR:PORT"; unless set, the loopback's port 5025, or every
// IPv4 address's when peers besides the loopback are allowed), the peers
// besides the loopback it lets in, and the folder its controller's records
// and reports go into.
bool RemoteOn();
void SetRemoteOn(bool on);
std::string RemoteListen(bool othersAllowed);
std::vector<std::string> RemoteAllowed();
std::string RemoteFolder();

// Where the settings are kept, to tell the operator.
QString FileName();

}  // namespace kt::settings
