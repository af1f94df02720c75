#include "swf/CSWFMovie.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include "swf/BitWriter.h"
#include "swf/CSWFShape.h"
#include "swf/SwfTag.h"

namespace {

constexpr uint8_t kPlaceHasMatrixAndCharacter = 0x06;
constexpr uint8_t kFileAttributesVersion = 8;
constexpr uint32_t kActionScript3Flag = 0x08;
constexpr int kMaxScale = 64;
constexpr uint64_t kMaxFileLength = std::numeric_limits<uint32_t>::max();
constexpr std::size_t kEndTagSize = 2;
// Tags wait here before they are written, so that each write moves a useful amount.
constexpr std::size_t kWriteBufferSize = 256 * 1024;

// A tag without a body.
std::vector<uint8_t> EmptyTag(SwfTagCode code) { return MakeTag(code, {}); }

}  // namespace

uint8_t LowestVersion(const MovieFormat& format) {
    uint8_t lowest = std::max<uint8_t>(3, LowestVersionFor(format.compression));
    if (format.smoothBitmaps) lowest = std::max<uint8_t>(lowest, 8);
    if (format.actionScript3) lowest = std::max<uint8_t>(lowest, 9);
    return lowest;
}

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
    const auto scale = static_cast<float>(m_format.scale);
    stage.SetRect(0, 0, width * scale, height * scale);
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
    if (m_format.version < kFileAttributesVersion) return true;
    // From version 8 players expect this as the first tag.
    BitWriter flags;
    flags.WriteU32(m_format.actionScript3 ? kActionScript3Flag : 0);
    return Append(MakeTag(SwfTagCode::FileAttributes, flags.Bytes()));
}

bool CSWFMovie::SetFormat(const MovieFormat& format) {
    if (m_state != State::New) return Fail("the format of a movie is set before it is opened");
    if (format.version < LowestVersion(format)) {
        return Fail("a movie of this format needs version " +
                    std::to_string(LowestVersion(format)) + " or later");
    }
    if (format.scale < 1 || format.scale > kMaxScale) {
        return Fail("the scale " + std::to_string(format.scale) + " is outside 1 to " +
                    std::to_string(kMaxScale));
    }
    m_format = format;
    return true;
}

void CSWFMovie::SetBackgroundColor(uint8_t r, uint8_t g, uint8_t b) {
    Append(MakeTag(SwfTagCode::SetBackgroundColor, {r, g, b}));
}

bool CSWFMovie::DefineObject(CSWFObject* obj, uint16_t depth, bool place) {
    if (obj == nullptr) return Fail("no character to define in " + Where());
    // A shape or button builds its tag in GetData, so GetSize comes second.
    if (auto* shape = dynamic_cast<CSWFShape*>(obj); shape && m_format.version >= 8)
        shape->SetBitmapSmoothing(m_format.smoothBitmaps);
    const uint8_t* data = obj->GetData();
    const int size = obj->GetSize();
    if (data == nullptr || size <= 0) {
        return Fail("character " + std::to_string(obj->GetId()) + " has no data to write to " +
                    Where());
    }
    if (!Append(data, static_cast<std::size_t>(size))) return false;
    m_nHighestId = std::max(m_nHighestId, obj->GetId());
    if (place && obj->IsPlaced()) return PlaceObject(obj, depth);
    return true;
}

bool CSWFMovie::PlaceObject(CSWFObject* obj, uint16_t depth) {
    if (obj == nullptr) return Fail("no character to place in " + Where());
    return PlaceCharacter(obj->GetId(), depth, obj->Matrix());
}

bool CSWFMovie::PlaceCharacter(uint16_t id, uint16_t depth, CSWFMatrix& matrix) {
    BitWriter body;
    body.WriteU8(kPlaceHasMatrixAndCharacter);
    body.WriteU16(depth);
    body.WriteU16(id);
    if (m_format.scale == 1) {
        WriteEncoded(body, matrix);
    } else {
        CSWFMatrix scaled = matrix.Scaled(m_format.scale);
        WriteEncoded(body, scaled);
    }
    return AppendControl(MakeTag(SwfTagCode::PlaceObject2, body.Bytes(), SwfTagForm::Long));
}

bool CSWFMovie::RemoveObject(uint16_t depth) {
    return AppendControl(MakeTag(SwfTagCode::RemoveObject2,
                                 {static_cast<uint8_t>(depth), static_cast<uint8_t>(depth >> 8)}));
}

bool CSWFMovie::DoAction(CSWFAction& actions) {
    const uint8_t* data = actions.GetData();
    return AppendControl(
        MakeTag(SwfTagCode::DoAction, std::vector<uint8_t>(data, data + actions.GetSize())));
}

bool CSWFMovie::ShowFrame() {
    uint16_t& frames = m_bInSprite ? m_nSpriteFrames : m_nFrameCount;
    if (frames >= kMaxFrames) {
        return Fail("cannot add frame " + std::to_string(kMaxFrames + 1) + " to " + Where() +
                    ": an SWF movie holds at most " + std::to_string(kMaxFrames) + " frames");
    }
    if (!AppendControl(EmptyTag(SwfTagCode::ShowFrame))) return false;
    ++frames;
    return true;
}

bool CSWFMovie::BeginSprite() {
    if (m_state != State::Open) return Append(nullptr, 0);  // says why
    if (m_bInSprite) return Fail("cannot start a sprite in " + Where() + ": one is open");
    m_bInSprite = true;
    m_nSpriteFrames = 0;
    m_sprite.clear();
    return true;
}

bool CSWFMovie::EndSprite(uint16_t id) {
    if (!m_bInSprite || id == 0) return Fail("no sprite to end in " + Where());
    m_bInSprite = false;
    BitWriter body;
    body.WriteU16(id);
    body.WriteU16(m_nSpriteFrames);
    body.WriteBytes(m_sprite);
    body.WriteBytes(EmptyTag(SwfTagCode::End));
    std::vector<uint8_t>().swap(m_sprite);
    const std::vector<uint8_t> tag =
        MakeTag(SwfTagCode::DefineSprite, body.Bytes(), SwfTagForm::Long);
    if (tag.empty()) return Fail("the sprite " + std::to_string(id) + " is too long for a tag");
    if (!Append(tag)) return false;
    m_nHighestId = std::max(m_nHighestId, id);
    return true;
}

bool CSWFMovie::NameSymbols(SymbolTable table, const std::vector<SwfSymbol>& symbols) {
    if (symbols.empty() || symbols.size() > 0xFFFF) return Fail("no symbols to name, or too many");
    BitWriter body;
    body.WriteU16(static_cast<uint16_t>(symbols.size()));
    for (const SwfSymbol& symbol : symbols) {
        if (symbol.name.empty() || symbol.name.find('\0') != std::string::npos)
            return Fail("the symbol name \"" + symbol.name + "\" cannot be written");
        body.WriteU16(symbol.id);
        body.WriteBytes(reinterpret_cast<const uint8_t*>(symbol.name.c_str()),
                        symbol.name.size() + 1);
    }
    const SwfTagCode code =
        table == SymbolTable::Exports ? SwfTagCode::ExportAssets : SwfTagCode::SymbolClass;
    return Append(MakeTag(code, body.Bytes()));
}

bool CSWFMovie::AppendControl(const std::vector<uint8_t>& tag) {
    if (!m_bInSprite || m_state != State::Open) return Append(tag);
    m_sprite.insert(m_sprite.end(), tag.begin(), tag.end());
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
    const bool ok = FlushBuffer() && m_file.WriteAt(0, header.data(), header.size());
    std::vector<uint8_t>().swap(m_buffer);
    if (!ok) return FailWrite();
    return Commit();
}

bool CSWFMovie::Commit() {
    if (m_format.compression == SwfCompression::None) return m_file.Commit() || FailWrite();
    AtomicFile packed;
    if (!packed.Open(m_path)) {
        m_file.Abandon();
        return Fail("cannot create " + m_path.string() + ": " + ErrorText(packed.ErrorCode()));
    }
    const std::string error = CompressMovieFile(m_file.TempPath(), packed, m_format.compression);
    m_file.Abandon();
    if (!error.empty()) {
        packed.Abandon();
        return Fail("cannot write " + m_path.string() + ": " + error);
    }
    return packed.Commit() ||
           Fail("cannot write " + m_path.string() + ": " + ErrorText(packed.ErrorCode()));
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
    w.WriteU8(m_format.version);
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
