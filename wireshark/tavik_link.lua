-- Wireshark dissector for the Tavik game link: the messages that the link library exchanges over TCP and
-- UDP, shown field by field, so that a capture from a site can be read without a hex dump.
-- Load it with `wireshark -X lua_script:tavik_link.lua` (or tshark), or copy it into a Lua plugin folder.

-- Wire format, as the link library writes it (all numbers little-endian):
--   code (u8), subcode (u8), length (u16: the whole message), payload, sequence number (u32, last 4 bytes).
local HEADER_SIZE = 8            -- code, subcode, length and the trailing sequence number
local LENGTH_FIELD_SIZE = 4      -- bytes needed before the length of a message is known
local LONGEST_RECEIVED = 1608    -- a receiver's buffer: a longer length field cannot frame a message
local LONGEST_QUEUED = 1600      -- a receive queue's slot: a longer message is dropped
local LOWEST_SOCKET_CODE = 128   -- socket links send codes 128 to 255 only
local ANNOUNCE_CODE = 237
local ANNOUNCE_NAME_SIZE = 64
local POKE_CODE = 239
local GAME_REQUEST_CODE = 224
local DEFAULT_PORT = 5510
local HIGHEST_T_PORT = 65534     -- T + 1 must still be a port
local PORT_TYPE_UDP = 3          -- Wireshark's port type of a datagram

local CLASS_STREAM, CLASS_DATAGRAM, CLASS_LATEST, CLASS_BROADCAST = 0, 1, 2, 4

-- Every code has a name, so that none reads as "Unknown": the application chooses its own codes.
local code_names = {}
for code = 0, 255 do code_names[code] = code < LOWEST_SOCKET_CODE and "Serial links only" or "Application" end
code_names[GAME_REQUEST_CODE] = "Game request"
code_names[ANNOUNCE_CODE] = "Announcement"
code_names[POKE_CODE] = "Poke"
local game_request_names = { [4] = "Echo", [9] = "Reward sound" }
local class_names = {
  [CLASS_STREAM] = "Stream: over TCP when connected, else as a datagram",
  [CLASS_DATAGRAM] = "Datagram",
  [CLASS_LATEST] = "Latest-only: a queued message with the same code, subcode and length is replaced",
  [CLASS_BROADCAST] = "Broadcast",
}

local link = Proto("tavik_link", "Tavik game link")

local f = {
  code = ProtoField.uint8("tavik_link.code", "Code", base.DEC, code_names),
  subcode = ProtoField.uint8("tavik_link.subcode", "Subcode", base.DEC),
  request = ProtoField.uint8("tavik_link.request", "Game request", base.DEC, game_request_names),
  counter = ProtoField.uint8("tavik_link.announce.counter", "Announcement counter", base.DEC),
  length = ProtoField.uint16("tavik_link.length", "Length", base.DEC),
  host = ProtoField.string("tavik_link.announce.host", "Host name"),
  payload = ProtoField.bytes("tavik_link.payload", "Payload"),
  sequence = ProtoField.uint32("tavik_link.sequence", "Sequence number", base.DEC),
  class = ProtoField.uint8("tavik_link.class", "Class", base.DEC, class_names),
  undecoded = ProtoField.bytes("tavik_link.undecoded", "Bytes no receiver reads as a message"),
}
link.fields = { f.code, f.subcode, f.request, f.counter, f.length, f.host, f.payload, f.sequence, f.class,
                f.undecoded }

local e = {
  bad_length = ProtoExpert.new("tavik_link.length.bad", "Malformed length", expert.group.MALFORMED,
                               expert.severity.ERROR),
  low_code = ProtoExpert.new("tavik_link.code.low", "Code below 128", expert.group.PROTOCOL, expert.severity.WARN),
  extra = ProtoExpert.new("tavik_link.extra", "Bytes after the message", expert.group.PROTOCOL,
                          expert.severity.WARN),
}
link.experts = { e.bad_length, e.low_code, e.extra }

-- Each connection keeps its own class table (the application sets it), and nothing on the wire carries
-- it: these preferences tell the dissector the table of the captured application.
link.prefs.port = Pref.uint("T port", DEFAULT_PORT, "TCP port T and UDP ports T and T + 1 of the link")
link.prefs.datagram_codes = Pref.range("Datagram class codes", "160-175,239",
                                       "Codes sent as datagrams (the library's default: 160-175,239)", 255)
link.prefs.latest_codes = Pref.range("Latest-only class codes", "",
                                     "Codes of which a receiver keeps only the latest", 255)
link.prefs.broadcast_codes = Pref.range("Broadcast class codes", "", "Codes sent as broadcast datagrams", 255)

local class_of = {}

-- A code named in several ranges takes the last of datagram, latest-only, broadcast.
local function build_class_table()
  class_of = {}
  for _, entry in ipairs({ { link.prefs.datagram_codes, CLASS_DATAGRAM }, { link.prefs.latest_codes, CLASS_LATEST },
                           { link.prefs.broadcast_codes, CLASS_BROADCAST } }) do
    for first, last in string.gmatch(entry[1], "(%d+)%-?(%d*)") do
      for code = tonumber(first), tonumber(last) or tonumber(first) do class_of[code] = entry[2] end
    end
  end
end

local registered_port

-- The port can change while a capture is open: the old registration goes before the new one is made.
local function register_ports(port)
  local tcp, udp = DissectorTable.get("tcp.port"), DissectorTable.get("udp.port")
  if registered_port then
    tcp:remove(registered_port, link)
    udp:remove(registered_port, link)
    udp:remove(registered_port + 1, link)
  end
  tcp:add(port, link)
  udp:add(port, link)
  udp:add(port + 1, link)
  registered_port = port
end

function link.prefs_changed()
  build_class_table()
  local port = link.prefs.port
  if port < 1 or port > HIGHEST_T_PORT then
    report_failure("Tavik game link: the T port must be 1 to " .. HIGHEST_T_PORT .. ", not " .. port)
  elseif port ~= registered_port then
    register_ports(port)
  end
end

-- Code, subcode (or what the code makes of it) and length; returns the length's tree item.
local function add_header(item, tvb, offset)
  local code = tvb(offset, 1):uint()
  item:add(f.code, tvb(offset, 1))
  if code == ANNOUNCE_CODE then
    item:add(f.counter, tvb(offset + 1, 1))
  elseif code == GAME_REQUEST_CODE then
    item:add(f.request, tvb(offset + 1, 1))
  else
    item:add(f.subcode, tvb(offset + 1, 1))
  end
  return item:add_le(f.length, tvb(offset + 2, 2))
end

-- The announcement is the server's own, sent directly and not routed by class: it has no class line.
local function add_announcement(item, tvb, offset, length)
  local size = math.min(ANNOUNCE_NAME_SIZE, length - HEADER_SIZE)
  -- Zero-filled after the name; not always zero-terminated, since a name may fill the whole field.
  -- A plain find: patterns cannot hold a NUL under Lua 5.1, which some Wireshark builds still embed.
  local field = size > 0 and tvb(offset + 4, size):string() or ""
  local name = field:sub(1, (field:find("\0", 1, true) or #field + 1) - 1)
  if size > 0 then item:add(f.host, tvb(offset + 4, size), name) end
  return string.format("Announcement %d from %s", tvb(offset + 1, 1):uint(), name)
end

-- One whole message whose length field lies within the bytes given; returns its line for the info column.
local function add_message(tree, tvb, offset, length, stream)
  local code, subcode = tvb(offset, 1):uint(), tvb(offset + 1, 1):uint()
  local item = tree:add(link, tvb(offset, length))
  local length_item = add_header(item, tvb, offset)
  if code < LOWEST_SOCKET_CODE then
    item:add_proto_expert_info(e.low_code, stream
      and "Code below 128: a receiver discards the stream bytes it holds when one starts with it"
      or "Code below 128: socket links send codes 128 to 255 only")
  end
  if length > LONGEST_QUEUED then
    length_item:add_proto_expert_info(e.bad_length, "Longer than " .. LONGEST_QUEUED ..
                                      " bytes: the receiver drops this message")
  end
  local summary
  if code == ANNOUNCE_CODE then
    summary = add_announcement(item, tvb, offset, length)
  else
    item:add(f.class, tvb(offset, 1), class_of[code] or CLASS_STREAM):set_generated()
    if length > HEADER_SIZE then item:add(f.payload, tvb(offset + 4, length - HEADER_SIZE)) end
    if code == POKE_CODE then
      summary = "Poke (asks the server to accept)"
    elseif code == GAME_REQUEST_CODE then
      summary = "Game request " .. (game_request_names[subcode] or subcode)
    else
      summary = string.format("Code %d subcode %d", code, subcode)
    end
  end
  local sequence = tvb(offset + length - 4, 4):le_uint()
  item:add_le(f.sequence, tvb(offset + length - 4, 4))
  item:append_text(string.format(", %s, %d bytes, seq %d", summary, length, sequence))
  return summary .. ", seq " .. sequence
end

-- Bytes from offset to the end that cannot be read as a message: the header where there is one, the
-- reason as an expert error, and the rest as undecoded bytes.
local function add_malformed(tree, tvb, offset, reason)
  local item = tree:add(link, tvb(offset)):append_text(", malformed")
  local anchor = item
  if tvb:len() - offset >= LENGTH_FIELD_SIZE then
    anchor = add_header(item, tvb, offset)
    offset = offset + LENGTH_FIELD_SIZE
  end
  anchor:add_proto_expert_info(e.bad_length, reason)
  if offset < tvb:len() then item:add(f.undecoded, tvb(offset)) end
  return reason
end

-- A TCP stream carries messages back to back and is cut by their length fields, as the receiver does.
-- A length that cannot frame a message leaves no way to find the next one: the receiver discards what it
-- holds and starts again with the next bytes it receives, and so does this dissector.
local function dissect_stream(tvb, pinfo, tree)
  local total, offset, lines = tvb:len(), 0, {}
  while offset < total do
    local left = total - offset
    local length = left >= LENGTH_FIELD_SIZE and tvb(offset + 2, 2):le_uint() or nil
    if length and (length < HEADER_SIZE or length > LONGEST_RECEIVED) then
      lines[#lines + 1] = add_malformed(tree, tvb, offset, string.format(
        "Length %d cannot frame a message (%d to %d): the receiver discards the stream bytes it holds",
        length, HEADER_SIZE, LONGEST_RECEIVED))
      break
    end
    if not length or left < length then
      if pinfo.can_desegment > 0 then
        pinfo.desegment_offset = offset
        pinfo.desegment_len = length and length - left or DESEGMENT_ONE_MORE_SEGMENT
      else
        tree:add(link, tvb(offset)):append_text(", the start of a message that continues in the next segment")
      end
      break
    end
    lines[#lines + 1] = add_message(tree, tvb, offset, length, true)
    offset = offset + length
  end
  return lines
end

-- A datagram carries one message; the receiver drops it unless its length field fits the datagram and a
-- queue slot, and ignores bytes after the message.
local function dissect_datagram(tvb, tree)
  local total = tvb:len()
  if total < HEADER_SIZE then
    return { add_malformed(tree, tvb, 0, string.format("A datagram of %d bytes cannot hold a message", total)) }
  end
  local length = tvb(2, 2):le_uint()
  if length < HEADER_SIZE then
    return { add_malformed(tree, tvb, 0, string.format(
      "Length %d is shorter than a message's %d bytes: the receiver drops it", length, HEADER_SIZE)) }
  end
  if length > total then
    return { add_malformed(tree, tvb, 0, string.format(
      "Length %d runs past the datagram's %d bytes: the receiver drops it", length, total)) }
  end
  local line = add_message(tree, tvb, 0, length, false)
  if length < total then
    tree:add(f.undecoded, tvb(length)):add_proto_expert_info(e.extra, string.format(
      "%d bytes after the message: the receiver ignores them", total - length))
  end
  return { line }
end

function link.dissector(tvb, pinfo, tree)
  local lines
  if pinfo.port_type == PORT_TYPE_UDP then
    lines = dissect_datagram(tvb, tree)
  else
    lines = dissect_stream(tvb, pinfo, tree)
  end
  if #lines > 0 then
    pinfo.cols.protocol = "Tavik link"
    pinfo.cols.info = table.concat(lines, "; ")
  end
  return tvb:len()
end

build_class_table()
register_ports(DEFAULT_PORT)
DissectorTable.get("tcp.port"):add_for_decode_as(link)
DissectorTable.get("udp.port"):add_for_decode_as(link)
