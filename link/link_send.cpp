// Building and sending link messages: the sequence numbering of built messages, the checks every message
// passes before its transport sends it, and their handle forms.
#include "link/link.h"
#include "link_transport.h"
#include "link_wire.h"

#include <cstring>

int LinkBuildMessage(LinkConnection* link, void* buffer, int size, int code, int subcode, const void* payload,
                     int payloadLength) {
  if (!LinkIsValid(link) || buffer == nullptr || size <= 0) return 0;
  auto* m = static_cast<std::uint8_t*>(buffer);
  std::memset(m, 0, static_cast<size_t>(size));
  if (payloadLength < 0 || payloadLength > 0xFFFF - LinkHeaderSize || size < payloadLength + LinkHeaderSize) return 0;
  int total = payloadLength + LinkHeaderSize;
  m[LinkOffsetCode] = static_cast<std::uint8_t>(code);
  m[LinkOffsetSubcode] = static_cast<std::uint8_t>(subcode);
  LinkPutU16(m + LinkOffsetLength, static_cast<std::uint32_t>(total));
  if (payload != nullptr && payloadLength > 0)
    std::memcpy(m + LinkOffsetPayload, payload, static_cast<size_t>(payloadLength));
  std::uint32_t seq = link->classOf[m[LinkOffsetCode]] != 0 ? ++link->datagramSeq : ++link->streamSeq;
  LinkPutU32(m + LinkOffsetPayload + payloadLength, seq);
  return total;
}

int LinkMessageLength(LinkConnection*, const void* message) {
  return message != nullptr ? LinkGetU16(static_cast<const std::uint8_t*>(message) + LinkOffsetLength) : 0;
}

int LinkSend(LinkConnection* link, const void* message, int length) {
  const LinkTransport* transport = LinkTransportOf(link);
  if (transport == nullptr) return 0;
  if (message == nullptr) return LinkErrorNoLength;
  const auto* m = static_cast<const std::uint8_t*>(message);
  if (length == 0) length = LinkGetU16(m + LinkOffsetLength);
  if (length > LinkMaxMessageLength || length < 0) return LinkErrorTooLong;
  return transport->send(link, m, length);
}

int LinkBuildMessageByHandle(int handle, void* buffer, int size, int code, int subcode, const void* payload,
                             int payloadLength) {
  return LinkBuildMessage(LinkFromHandle(handle), buffer, size, code, subcode, payload, payloadLength);
}
int LinkMessageLengthByHandle(int handle, const void* message) {
  return LinkMessageLength(LinkFromHandle(handle), message);
}
int LinkSendByHandle(int handle, const void* message, int length) {
  return LinkSend(LinkFromHandle(handle), message, length);
}
