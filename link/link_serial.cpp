// The serial transport: a link over a COM port through the serial port driver. Opening and closing the
// port, the poll that turns received bytes into binary messages, two-byte commands, text blocks or raw
// bytes, the hand-out of raw bytes, the line handshake, the port write and the line operations.
#include "link_serial.h"
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "link/link_events.h"
#include "link_locks.h"
#include "link_queue.h"
#include "link_record.h"
#include "link_transport.h"
#include "link_wire.h"
#include "serial/serial_port.h"

namespace {

constexpr int LineBreak = 16;
constexpr std::uint32_t HoldOffMicroseconds = 2000;
constexpr std::uint32_t LineDropWindowMs = 400;

std::uint32_t FirstWord(const std::uint8_t* bytes, int count) {
  std::uint32_t word = 0;
  for (int i = std::min(count, 4) - 1; i >= 0; --i) word = (word << 8) | bytes[i];
  return word;
}

void Record(LinkConnection* link, int code, std::uint32_t a, std::uint32_t c) {
  LinkRecordEvent(link, LinkDirectionReceive, code, a, 0, c);
}

int PortIndex(const LinkConnection* link) { return link->comPort - 1; }

int SetDtr(LinkConnection* link, int letter) {
  const int result = SerialPortDtr(PortIndex(link), letter);
  Record(link, LinkEventSerialDtr, static_cast<std::uint32_t>(link->comPort), static_cast<std::uint32_t>(result));
  return result;
}

int SetRts(LinkConnection* link, int letter) {
  const int result = SerialPortRts(PortIndex(link), letter);
  Record(link, LinkEventSerialRts, static_cast<std::uint32_t>(link->comPort), static_cast<std::uint32_t>(result));
  return result;
}

// The decimal number right after "COM" (at most five digits count); 0 when there is none.
int PortNumberAfter(const char* com) {
  int number = 0;
  for (int i = 3; i < 8 && std::isdigit(static_cast<unsigned char>(com[i])); ++i) number = number * 10 + (com[i] - '0');
  return number;
}

// --- Answering side of the line handshake -------------------------------------------------------------

// Returns true when the poll ends here (DSR off).
bool AnswerLineHandshake(LinkConnection* link, int errors, bool dsr, std::uint32_t now) {
  const int p = PortIndex(link);
  if (errors & LineBreak) link->lineChanged = 1;
  if (!dsr) {
    if (now - link->lastAnnounce > LineDropWindowMs) {
      if (link->lineEvent) SetDtr(link, 'S');
      link->lastAnnounce = 0;
      link->lineEvent = 0;
      link->lineChanged = 0;
    }
    if (link->lastAnnounce != 0) {
      link->lineEvent = 1;
      SetDtr(link, 'C');
    }
    link->announceCount = SerialPortCts(p) > 0 ? 1 : 0;
    return true;
  }
  if (!link->lineChanged) {
    SetDtr(link, 'S');
    return false;
  }
  link->lineEvent = 0;
  link->lineChanged = 0;
  link->shortFrames = link->announceCount == 0 ? 1 : 0;
  SetRts(link, link->announceCount ? 'S' : 'C');
  link->baud = link->shortFrames ? link->altBaud : link->requestedBaud;
  SerialPortSetBaud(p, static_cast<int>(link->baud));
  SetDtr(link, 'S');
  std::uint8_t discard[LinkSerialChunk];
  SerialPortRead(p, discard, sizeof discard);  // DSR is on here, so the BLUETOOTH setting changes nothing
  link->rawCount = 0;
  link->rawLimit = 0;
  SerialPortErrors(p, 31);
  Record(link, LinkEventSerialFormSwitched, 0, 0);
  SetDtr(link, 'S');
  return false;
}

// --- Receive forms ----------------------------------------------------------------------------------

// While a hold-off runs, chunks read within 2 ms of the error are held back.
bool HoldOffHoldsBack(const LinkConnection* link) { return link->lastRxTime - link->errorTime < HoldOffMicroseconds; }

void MarkError(LinkConnection* link, bool keepHeld) {
  link->errorTime = link->lastRxTime;
  if (!keepHeld) link->rawCount = 0;
  link->rawLimit = keepHeld ? link->rawCount : 0;
  link->errorCount += 1;
}

int QueueOf(const LinkConnection* link, std::uint8_t code) { return link->classOf[code] != 0 ? 1 : 0; }

// Takes the first complete binary message out of rawData, or drops everything held for a bad frame.
int TakeBinaryMessage(LinkConnection* link) {
  if (link->rawCount < 4) return 0;
  const std::uint8_t* held = link->rawData;
  const int length = held[2] | (held[3] << 8);
  const bool accepted = length >= LinkHeaderSize && length <= LinkMaxMessageLength && held[0] >= 0x80 &&
                        held[1] < 0x80 && (link->rawLimit == 0 || length <= link->rawLimit);
  if (!accepted) {
    Record(link, LinkEventSerialFrameRejected, static_cast<std::uint32_t>(link->rawCount),
           static_cast<std::uint32_t>(length));
    MarkError(link, false);
    return 0;
  }
  if (link->rawCount < length) return 0;
  std::memcpy(link->rxBuffer, held, static_cast<size_t>(length));
  LinkEnqueue(link, length, QueueOf(link, held[0]), "smsg");
  link->rawCount = static_cast<std::int16_t>(link->rawCount - length);
  if (link->rawCount > 0) std::memmove(link->rawData, link->rawData + length, static_cast<size_t>(link->rawCount));
  Record(link, LinkEventSerialMessageQueued, static_cast<std::uint32_t>(link->rawCount),
         static_cast<std::uint32_t>(length));
  return 1;
}

int ReceiveBinary(LinkConnection* link, const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    if (link->errorTime != 0) {
      if (HoldOffHoldsBack(link)) return 0;
      link->errorTime = 0;
      if (link->rawLimit != 0) return 0;
    }
    if (link->rawCount >= LinkRawAreaSize) {
      Record(link, LinkEventSerialAreaFull, static_cast<std::uint32_t>(link->rawCount), static_cast<std::uint32_t>(i));
      MarkError(link, true);
      return 0;
    }
    Record(link, LinkEventSerialByteStored, static_cast<std::uint32_t>(link->rawCount), bytes[i]);
    link->rawData[link->rawCount++] = bytes[i];
  }
  return TakeBinaryMessage(link);
}

void QueueCommand(LinkConnection* link, std::uint8_t code, std::uint8_t argument) {
  std::memset(link->rxBuffer, 0, LinkHeaderSize);
  link->rxBuffer[0] = code;
  link->rxBuffer[1] = argument;
  link->rxBuffer[2] = LinkHeaderSize;
  LinkEnqueue(link, LinkHeaderSize, QueueOf(link, code), "serial");
}

// A block longer than one queue slot keeps what fits and counts one error for the bytes cut off.
void EndTextBlock(LinkConnection* link) {
  int n = link->blockLength;
  if (n > LinkTextBlockMaxData) {
    n = LinkTextBlockMaxData;
    link->errorCount += 1;
  }
  const int length = n + 12;
  std::memset(link->rxBuffer, 0, static_cast<size_t>(length));
  link->rxBuffer[0] = 0x80;
  link->rxBuffer[1] = link->blockData[LinkRawAreaSize];
  link->rxBuffer[2] = static_cast<std::uint8_t>(length & 0xFF);
  link->rxBuffer[3] = static_cast<std::uint8_t>(length >> 8);
  std::memcpy(link->rxBuffer + 8, link->blockData, static_cast<size_t>(n));
  LinkEnqueue(link, length, QueueOf(link, 0x80), "serialr");
}

void ReceiveCommands(LinkConnection* link, const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    const std::uint8_t b = bytes[i];
    const bool command = (b & 0x80) != 0;
    if (link->parseState == LinkParseText) {
      if (command || b == 0) EndTextBlock(link);
      if (!command && b != 0 && link->blockLength < LinkRawAreaSize) link->blockData[link->blockLength++] = b;
      if (!command && b == 0) link->parseState = LinkParseIdle;
    } else if (link->parseState == LinkParseCommand && !command) {
      if (link->lastCode == 0x80) {
        link->blockLength = 0;
        std::memset(link->blockData, 0, sizeof link->blockData);
        link->blockData[LinkRawAreaSize] = b;  // the sub-code, kept past the text bytes
        link->parseState = LinkParseText;
      } else {
        QueueCommand(link, link->lastCode, b);
        link->parseState = LinkParseIdle;
      }
    }
    if (command) {
      link->lastCode = b;
      link->parseState = LinkParseCommand;
    }
  }
}

int ReceiveRaw(LinkConnection* link, const std::uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    if (link->rawMode < 2 && link->errorTime != 0) {
      if (HoldOffHoldsBack(link)) {
        Record(link, LinkEventSerialRawHeldOff, link->errorTime, link->lastRxTime);
        return 0;
      }
      link->errorTime = 0;
      if (link->rawLimit != 0) {
        Record(link, LinkEventSerialRawHoldOffEnded, static_cast<std::uint32_t>(link->rawLimit),
               static_cast<std::uint32_t>(i));
        return 0;
      }
    }
    if (link->rawCount >= LinkRawAreaSize) {
      MarkError(link, true);
      Record(link, LinkEventSerialRawOverflow, static_cast<std::uint32_t>(link->rawCount), link->errorCount);
      return 0;
    }
    link->rawData[link->rawCount++] = bytes[i];
  }
  if (count > 0) Record(link, LinkEventSerialRawStored, static_cast<std::uint32_t>(count), link->lastRxTime);
  return count;
}

}  // namespace

// --- Opening, resetting and closing ------------------------------------------------------------------

void LinkResetSerial(LinkConnection* link) {
  link->rawCount = 0;
  link->lineEvent = 0;
  link->lastAnnounce = 0;
  link->rawLimit = 0;
  link->errorCount = 0;
  link->errorTime = 0;
  link->parseState = LinkParseIdle;
  link->blockLength = 0;
  LinkClearQueues(link);
  Record(link, LinkEventSerialReset, 0, 0);
}

int LinkOpenSerial(LinkConnection* link, const char* address, int number) {
  LinkOpenRecord(link, LinkDirectionReceive, link->isServer ? "VRX" : "MRX");
  LinkOpenRecord(link, LinkDirectionTransmit, link->isServer ? "VTX" : "MTX");
  link->comPort = 0;
  char text[404] = {};  // room past the 400 characters for the four read after a final "COM"
  for (int i = 0; address && address[i] && i < 400; ++i)
    text[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(address[i])));
  const char* com = std::strstr(text, "COM");
  if (!com) return LinkErrorNoComName;
  const int port = PortNumberAfter(com);
  if (port == 0) {
    Record(link, LinkEventSerialNoPortNumber, 0, FirstWord(reinterpret_cast<const std::uint8_t*>(com + 1), 4));
    return LinkErrorNoPortNumber;
  }
  LinkResetSerial(link);
  SerialPortOpen(-1, 1, 1);
  const int baud = SerialPortBaudOf(number == 0 ? 9600 : number);
  link->baud = link->requestedBaud = static_cast<std::uint32_t>(baud);
  link->altBaud = 9600;
  SerialPortSetBaud(-1, baud);
  SerialPortSetFormat(-1, 0, 0, 8);
  const int opened = SerialPortOpen(port - 1, 4000, 4000);
  if (opened != 0) {
    link->serialError = SerialPortLastError(nullptr, 0);
    Record(link, LinkEventSerialOpenFailed, static_cast<std::uint32_t>(opened),
           static_cast<std::uint32_t>(link->serialError));
    if (opened != SerialPortOpenFailed && opened != SerialPortBadIndex) SerialPortClose(port - 1);
    return opened;
  }
  link->hwFlow = std::strstr(text, ":HW") ? 1 : 0;
  SerialPortSetHandshake(port - 1, link->hwFlow ? 'H' : 'N');
  link->comPort = static_cast<std::int16_t>(port);
  link->status = LinkStatusPortOpen;
  Record(link, LinkEventSerialOpened, static_cast<std::uint32_t>(port), 0);
  return 0;
}

int LinkCloseSerial(LinkConnection* link) {
  Record(link, LinkEventSerialClosed, static_cast<std::uint32_t>(link->comPort), 0);
  LinkCloseRecords(link);
  if (link->comPort == 0) return 0;
  const int closed = SerialPortClose(PortIndex(link));
  link->comPort = 0;
  link->status = 0;
  return closed;
}

// --- Polling ------------------------------------------------------------------------------------------

int PollSerialLine(LinkConnection* link) {
  if (link->comPort == 0) return 0;
  const int p = PortIndex(link);
  if (link->rawMode && LinkRawAreaSize - link->rawCount < 100) {
    Record(link, LinkEventSerialRawFull, static_cast<std::uint32_t>(link->rawCount),
           static_cast<std::uint32_t>(link->rawMode));
    return 0;
  }
  const int errors = SerialPortErrors(p, 31);
  const bool dsr = SerialPortDsr(p) > 0;
  const std::uint32_t now = LinkMilliseconds();
  if (link->lineWatch && link->isServer && AnswerLineHandshake(link, errors > 0 ? errors : 0, dsr, now)) return 0;
  link->lastAnnounce = dsr ? now : 0;

  std::uint8_t chunk[LinkSerialChunk];
  const int room = std::min(LinkRawAreaSize - link->rawCount, LinkSerialChunk);
  const int got = room > 0 ? SerialPortRead(p, chunk, room) : 0;
  if (got < 0) {
    Record(link, LinkEventSerialReadFailed, static_cast<std::uint32_t>(got), static_cast<std::uint32_t>(link->rawMode));
    return got;
  }
  if (got > 0) {
    Record(link, LinkEventSerialRead, static_cast<std::uint32_t>(got), FirstWord(chunk, got));
    LinkLogMessage(link, LinkDirectionReceive, -got, chunk);
  }
  const int lineErrors = errors > 0 ? (errors & ~LineBreak) : 0;
  if (lineErrors != 0 && link->rawMode == 0) {
    link->errorTime = LinkTimestamp();
    link->rawCount = 0;
    link->rawLimit = 0;
    link->errorCount += 1;
    Record(link, LinkEventSerialLineError, static_cast<std::uint32_t>(errors), dsr ? 1 : 0);
    return 0;
  }
  if (got > 0) link->lastRxTime = LinkTimestamp();
  if (link->rawMode) return ReceiveRaw(link, chunk, got);
  if (link->shortFrames) {
    ReceiveCommands(link, chunk, got);
    return 0;
  }
  return ReceiveBinary(link, chunk, got);
}

// --- Sending -------------------------------------------------------------------------------------------

int LinkWriteSerial(LinkConnection* link, const void* bytes, int count) {
  if (link->comPort == 0) return LinkErrorPortClosed;
  if (!bytes) return LinkErrorShortWrite;
  if (count == 0) count = static_cast<int>(std::strlen(static_cast<const char*>(bytes)));
  if (count == 0) return 0;
  const int written = SerialPortWrite(PortIndex(link), bytes, count);
  if (written < count) return LinkErrorShortWrite;
  LinkRecordEvent(link, LinkDirectionTransmit, LinkEventSerialWritten, static_cast<std::uint32_t>(count), 0,
                  FirstWord(static_cast<const std::uint8_t*>(bytes), count));
  return 0;
}

// --- The line handshake's calling side ----------------------------------------------------------------

namespace {

bool WaitForDsr(int p, bool on, std::uint32_t limitMs) {
  const std::uint32_t start = LinkMilliseconds();
  while (LinkMilliseconds() - start < limitMs) {
    if ((SerialPortDsr(p) > 0) == on) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return (SerialPortDsr(p) > 0) == on;
}

// The calling side of the line handshake; returns 7 or more when the new form may be applied.
int CallLineHandshake(LinkConnection* link, int shortFrames) {
  const int p = PortIndex(link);
  SetRts(link, shortFrames ? 'C' : 'S');
  if (SerialPortDsr(p) <= 0) return 0;
  int r = 1;
  SetDtr(link, 'C');
  if (WaitForDsr(p, false, 1000)) r |= 2;
  SerialPortBreak(p, 'A');
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  SerialPortBreak(p, 'C');
  SetDtr(link, 'S');
  if (WaitForDsr(p, true, 1000)) r |= 4;
  return r;
}

}  // namespace

// --- The transport's operations ---------------------------------------------------------------------

namespace {

int OpenSerialLink(LinkConnection* link, const char* address, int baud) {
  link->kind = LinkKindSerial;
  link->lineWatch = 0;
  link->announceCount = 1;
  char upper[41];  // the request's address counts up to 40 characters
  std::strncpy(upper, address, 40);
  upper[40] = '\0';
  for (char* c = upper; *c; c++) *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  return LinkOpenSerial(link, upper, baud);
}

void CloseEarlierSerialLink(LinkConnection* link) {
  if (link->comPort != 0) LinkCloseSerial(link);
}

void PollSerialLink(LinkConnection* link) { LinkPollSerial(link); }

// Raw serial bytes for a caller in raw mode.
int TakeRaw(LinkConnection* link, void* buffer, int size) {
  std::uint8_t first[4] = {0, 0, 0, 0};
  int n;
  {
    std::lock_guard<std::mutex> hold(LinkSerialLock());
    int held = std::min<int>(link->rawCount, static_cast<int>(sizeof link->rawData));
    if (held <= 0) {
      link->rawCount = 0;
      n = 0;
    } else {
      n = std::min(held, size);
      std::memcpy(buffer, link->rawData, static_cast<size_t>(n));
      std::memmove(link->rawData, link->rawData + n, static_cast<size_t>(held - n));
      link->rawCount = static_cast<std::int16_t>(held - n);
      std::memcpy(first, buffer, static_cast<size_t>(std::min(n, 4)));
    }
  }
  if (n == 0) {
    Record(link, LinkEventSerialRawEmpty, static_cast<std::uint32_t>(link->comPort), 0);
    return 0;
  }
  Record(link, LinkEventSerialRawTaken, static_cast<std::uint32_t>(n), LinkGetU32(first));
  return n;
}

int TakeRawBytes(LinkConnection* link, void* buffer, int size) {
  if (link->rawMode == 0) return -1;
  return buffer != nullptr && size > 0 ? TakeRaw(link, buffer, size) : 0;
}

int RawBytesPending(LinkConnection* link) {
  if (link->rawMode == 0) return -1;
  return link->rawCount != 0 ? 1 : 0;
}

// The two-byte command form: a command and its argument; code 128 carries a text after them.
int SendShortFrame(LinkConnection* link, const std::uint8_t* m, int length) {
  if (m[LinkOffsetCode] != 128) return LinkWriteSerial(link, m, 2);
  LinkWriteSerial(link, m, 2);
  if (LinkGetU16(m + LinkOffsetLength) <= 2) return 0;
  int count = std::min<int>(LinkGetU16(m + 6), std::max(length - LinkHeaderSize, 0));
  if (count == 0) return 0;
  LinkWriteSerial(link, m + 8, count);
  if (m[8 + count - 1] != 0) {
    static const std::uint8_t zero = 0;
    LinkWriteSerial(link, &zero, 1);
  }
  return 0;
}

int SendSerialMessage(LinkConnection* link, const std::uint8_t* m, int length) {
  if (link->shortFrames != 0 && link->rawMode == 0) return SendShortFrame(link, m, length);
  return LinkWriteSerial(link, m, length);
}

// The driver's port index of a link whose port is open, else -1.
int OpenPort(const LinkConnection* link) { return link->comPort != 0 ? PortIndex(link) : -1; }

int ModeLetter(int mode) { return mode == 1 ? 'S' : mode == 0 ? 'C' : 'R'; }

// A modem line of the open port as the driver reads it; 0 with no open port.
int ModemLine(const LinkConnection* link, int (*read)(int index)) {
  const int p = OpenPort(link);
  return p < 0 ? 0 : read(p);
}

int DataSetReady(LinkConnection* link) { return ModemLine(link, SerialPortDsr); }
int CarrierDetect(LinkConnection* link) { return ModemLine(link, SerialPortRlsd); }
int ClearToSend(LinkConnection* link) { return ModemLine(link, SerialPortCts); }
int RingIndicator(LinkConnection* link) { return ModemLine(link, SerialPortRing); }
int DtrLine(LinkConnection* link, int mode) { return OpenPort(link) < 0 ? 0 : SetDtr(link, ModeLetter(mode)); }
int RtsLine(LinkConnection* link, int mode) { return OpenPort(link) < 0 ? 0 : SetRts(link, ModeLetter(mode)); }

int BreakLine(LinkConnection* link, int mode) {
  const int p = OpenPort(link);
  return p < 0 ? 0 : SerialPortBreak(p, mode > 0 ? 'A' : mode == 0 ? 'C' : 'D');
}

int LineErrorBit(LinkConnection* link, int selector) {
  const int p = OpenPort(link);
  if (p < 0 || selector < 0 || selector > 4) return 0;
  return SerialPortErrors(p, 1 << selector);
}

int ShortFramesInUse(LinkConnection* link) { return link->shortFrames; }

void SwitchForm(LinkConnection* link, int shortFrames, int baud) {
  if (link->comPort == 0) return;
  int r = 15;
  if (!link->isServer && link->lineWatch) r = CallLineHandshake(link, shortFrames);
  if (r < 7) return;
  const int p = PortIndex(link);
  SerialPortRts(p, shortFrames ? 'C' : 'S');
  SerialPortSetBaud(p, baud);
  SerialPortRts(p, shortFrames ? 'C' : 'S');
  SetDtr(link, 'S');
}

void ReopenPort(LinkConnection* link) {
  if (link->comPort == 0) return;
  const int p = PortIndex(link);
  SerialPortClose(p);
  SerialPortOption('R');
  SerialPortSetFormat(-1, 0, 0, 8);
  SerialPortSetBaud(-1, static_cast<int>(link->baud));
  SerialPortOpen(-1, 1, 1);
  if (SerialPortOpen(p, 16000, 16000) != 0) link->serialError = SerialPortLastError(nullptr, 0);
  SerialPortSetHandshake(p, link->hwFlow ? 'H' : 'N');
  Record(link, LinkEventSerialReopened, static_cast<std::uint32_t>(link->comPort), 0);
}

void KeptErrors(LinkConnection* link, int* lastError, int* lineErrors, int* bytesWaiting) {
  const int p = PortIndex(link);
  if (lastError) *lastError = link->serialError != 0 ? link->serialError : SerialPortLastError(nullptr, 0);
  link->serialError = 0;
  if (lineErrors) *lineErrors = link->comPort ? SerialPortErrors(p, -1) : -99;
  if (bytesWaiting) *bytesWaiting = link->comPort ? SerialPortInQueue(p) : -99;
}

}  // namespace

const LinkTransport LinkSerialTransport = {
    OpenSerialLink,          // open
    CloseEarlierSerialLink,  // closeEarlier
    LinkCloseSerial,         // close
    SendSerialMessage,       // send
    PollSerialLink,          // poll
    TakeRawBytes,            // takeRaw
    RawBytesPending,         // rawPending
    LinkResetSerial,         // flush
    DataSetReady,            // peerPresent
    CarrierDetect,           // carrierDetect
    ClearToSend,             // clearToSend
    RingIndicator,           // ringIndicator
    DtrLine,                 // setDtr
    RtsLine,                 // setRts
    BreakLine,               // setBreak
    LineErrorBit,            // lineStatus
    ShortFramesInUse,        // shortFrames
    SwitchForm,              // switchForm
    ReopenPort,              // reopen
    KeptErrors,              // errors
};

int LinkPollSerial(LinkConnection* link) {
  std::lock_guard<std::mutex> hold(LinkSerialLock());
  return PollSerialLine(link);
}
