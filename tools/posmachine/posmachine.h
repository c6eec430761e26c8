// posmachine: arranges and inspects a simulated point-of-sale machine inside a
// Wine prefix (or a Windows test machine): the base device, the serial
// multifunction card and its serial ports in the device database, and a
// watcher for the installer's progress window and message boxes.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <setupapi.h>

#include "device_create.h"
#include "platform/setup_values.h"

#include <string>
#include <vector>

namespace pm {

// The setup classes of the machine's devices, the interface class the serial
// ports expose, and GUIDs as the registry names them.
using plat::GuidText;
using plat::kComPortInterface;
using plat::kMultifunctionClass;
using plat::kPortsClass;
using plat::kSystemClass;

// Descriptions and hardware IDs of the machine's devices.
extern const char kBaseDescription[];
extern const char kCardDescription[];
extern const char kBaseId[];
extern const char kCardIdRev[];
extern const char kCardId[];

// The devices a profile or add-on word stands for; false for an unknown word.
bool ProfileDevices(const std::string& word, std::vector<NewDevice>& out);

// Commands. Each returns the process exit code.
int CmdCreate(const std::vector<std::string>& args);
int CmdUpdate(const std::vector<std::string>& args);
int CmdDump(const std::vector<std::string>& args);
int CmdFind(const std::vector<std::string>& args);
int CmdWatch(const std::vector<std::string>& args);

// Text helpers.
// Bytes as a C-like literal: printable ASCII as is, NUL as \0, others as \xNN.
std::string EscapeBytes(const void* data, size_t size);
// UTF-16 code units the same way, anything above 0x7E as \uNNNN.
std::string EscapeWide(const wchar_t* data, size_t count);
std::string Narrow(const std::wstring& text);

}  // namespace pm
