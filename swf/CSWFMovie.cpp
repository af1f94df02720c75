#include "swf/CSWFMovie.h"

#include <cerrno>
#include <limits>

#include "swf/BitWriter.h"
#include "swf/SwfTag.h"

namespace {

constexpr uint8_t kPlaceHasMatrixAndCharacter = 0x06;
constexpr uint8_t kVersion = 3;
constexpr uint64_t kMaxFileLength = std::numeric_limits<uint32_t>::max();
constexpr std::size_t kEndTagSize = 2;
// Tags wait here before they are written, so that each write moves a useful amount.
constexpr std::size_t kWriteBufferSize = 256 * 1024;

// A tag without a body.
std::vector<uint8_t> EmptyTag(SwfTagCode code) { return MakeTag(code, {}); }

}  // namespace

CSWFMovie::CSWFMovie() {
    m_stage.SetRect(0, 0, 200, 200);
    EncodeHeader();
}

CSWFMovie::~CSWFMovie() {
    if (m_state == State::Open) Abandon();
}

bool CSWFMovie::OpenFile(const std::filesystem::path& path, float width, float height, int fps) {
    const std::string cannot = "cannot create " + path.string() + ": ";
    if (m_state == State::Open) return Fail(cannot + m_path.string() + " is still being written");
    if (m_state == State::Done) return Fail(cannot + "this movie has already been written");
    if (fps < kMinFrameRate || fps > kMaxFrameRate) {
        return Fail(cannot + "the frame rate " + std::to_string(fps) + " is outside " +
                    std::to_string(kMinFrameRate) + " to " + std::to_string(kMaxFrameRate));
    }
    CSWFRectangle stage;
    stage.SetRect(0, 0, width, height);
    if (!stage.IsValid()) return Fail(cannot + "the stage size cannot be held in an SWF file");
    std::error_code ec;
    if (!path.has_filename() || std::filesystem::is_directory(path, ec)) {
        return Fail(cannot + ErrorText(EISDIR));
    }
    if (!m_file.Open(path)) return Fail(cannot + ErrorText(m_file.ErrorCode()));

    m_stage = stage;
    m_nFrameRate = static_cast<uint16_t>(fps << 8);
    m_path = path;
    m_state = State::Open;
    // A placeholder: CloseFile writes the header again with the final length and frame count.
    const std::vector<uint8_t> header = EncodeHeader();
    m_buffer.reserve(kWriteBufferSize);
    m_buffer.assign(header.begin(), header.end());
    return true;
}

void CSWFMovie::SetBackgroundColor(uint8_t r, uint8_t g, uint8_t b) {
    Append(MakeTag(SwfTagCode::SetBackgroundColor, {r, g, b}));
}

bool CSWFMovie::DefineObject(CSWFObject* obj, uint16_t depth, bool place) {
    if (obj == nullptr) return Fail("no character to define in " + Where());
    // A shape or button builds its tag in GetData, so GetSize comes second.
    const uint8_t* data = obj->GetData();
    const int size = obj->GetSize();
    if (data == nullptr || size <= 0) {
        return Fail("character " + std::to_string(obj->GetId()) + " has no data to write to " +
                    Where());
    }
    if (!Append(data, static_cast<std::size_t>(size))) return false;
    if (place && obj->IsPlaced()) return PlaceObject(obj, depth);
    return true;
}

bool CSWFMovie::PlaceObject(CSWFObject* obj, uint16_t depth) {
    if (obj == nullptr) return Fail("no character to place in " + Where());
    BitWriter body;
    body.WriteU8(kPlaceHasMatrixAndCharacter);
    body.WriteU16(depth);
    body.WriteU16(obj->GetId());
    WriteEncoded(body, obj->Matrix());
    return Append(MakeTag(SwfTagCode::PlaceObject2, body.Bytes(), SwfTagForm::Long));
}

bool CSWFMovie::RemoveObject(uint16_t depth) {
    BitWriter body;
    body.WriteU16(depth);
    return Append(MakeTag(SwfTagCode::RemoveObject2, body.Bytes()));
}

bool CSWFMovie::ShowFrame() {
    if (m_nFrameCount >= kMaxFrames) {
        return Fail("cannot add frame " + std::to_string(kMaxFrames + 1) + " to " + Where() +
                    ": an SWF movie holds at most " + std::to_string(kMaxFrames) + " frames");
    }
    if (!Append(EmptyTag(SwfTagCode::ShowFrame))) return false;
    ++m_nFrameCount;
    return true;
}

bool CSWFMovie::CloseFile() {
    if (m_state == State::New) return Fail("cannot write the movie: no file is open");
    if (m_state == State::Done) return Fail("cannot write the movie: it was already closed");
    m_state = State::Done;

    // The End tag is not part of the body; Append has kept room for it.
    const std::vector<uint8_t> end = EmptyTag(SwfTagCode::End);
    m_buffer.insert(m_buffer.end(), end.begin(), end.end());
    const std::vector<uint8_t> header = EncodeHeader();
    const bool ok = FlushBuffer() && m_file.WriteAt(0, header.data(), header.size()) &&
                    m_file.Commit();
    std::vector<uint8_t>().swap(m_buffer);
    return ok || FailWrite();
}

void CSWFMovie::Abandon() {
    m_file.Abandon();
    m_state = State::Done;
    std::vector<uint8_t>().swap(m_buffer);
}

bool CSWFMovie::Append(const uint8_t* data, std::size_t size) {
    if (m_state == State::New) return Fail("cannot append to the movie: no file is open");
    if (m_state == State::Done) return Fail("cannot append to " + Where() + ": it was closed");
    if (m_file.ErrorCode() != 0) return FailWrite();
    if (m_nHeaderSize + m_nBodyLength + size + kEndTagSize > kMaxFileLength) {
        return Fail("cannot append to " + Where() +
                    ": the movie would be longer than an SWF file can be (4 GiB)");
    }
    m_nBodyLength += size;
    if (m_buffer.size() + size > kWriteBufferSize && !FlushBuffer()) return false;
    if (size >= kWriteBufferSize) return m_file.Write(data, size) || FailWrite();
    m_buffer.insert(m_buffer.end(), data, data + size);
    return true;
}

bool CSWFMovie::FlushBuffer() {
    const bool ok = m_file.Write(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return ok || FailWrite();
}

std::vector<uint8_t> CSWFMovie::EncodeHeader() {
    const uint8_t* rect = m_stage.GetData();
    const auto rectSize = static_cast<std::size_t>(m_stage.GetSize());
    m_nHeaderSize = 12 + rectSize;
    BitWriter w;
    w.WriteBytes(reinterpret_cast<const uint8_t*>("FWS"), 3);
    w.WriteU8(kVersion);
    w.WriteU32(static_cast<uint32_t>(m_nHeaderSize + m_nBodyLength + kEndTagSize));
    w.WriteBytes(rect, rectSize);
    w.WriteU16(m_nFrameRate);
    w.WriteU16(m_nFrameCount);
    return w.TakeBytes();
}

std::string CSWFMovie::Where() const {
    return m_path.empty() ? std::string("the movie") : m_path.string();
}

bool CSWFMovie::Fail(std::string message) {
    m_strError = std::move(message);
    return false;
}

bool CSWFMovie::FailWrite() {
    return Fail("cannot write " + m_path.string() + ": " + ErrorText(m_file.ErrorCode()));
}
