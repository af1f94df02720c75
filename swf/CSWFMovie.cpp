#include "swf/CSWFMovie.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <limits>
#include <system_error>

#include "swf/BitWriter.h"

namespace {

constexpr uint16_t kPlaceObject2Header = 26 * 64 + 0x3F;  // long form
constexpr uint8_t kPlaceHasMatrixAndCharacter = 0x06;
constexpr uint8_t kShowFrame[2] = {0x40, 0x00};
constexpr uint8_t kEndTag[2] = {0x00, 0x00};
constexpr uint8_t kSetBackgroundColorHeader[2] = {0x43, 0x02};  // code 9, length 3
constexpr uint8_t kVersion = 3;
constexpr uint64_t kMaxFileLength = std::numeric_limits<uint32_t>::max();
// Tags wait here before they are written, so that each write moves a useful amount.
constexpr std::size_t kWriteBufferSize = 256 * 1024;

std::string SystemMessage(int error) { return std::generic_category().message(error); }

// The permission bits a newly created file gets: 0666 less the process's umask. The umask is
// read from /proc, since umask() can only be read by changing it, which races with other
// threads creating files.
mode_t NewFileMode() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            try {
                return static_cast<mode_t>(0666 & ~std::stoul(line.substr(6), nullptr, 8));
            } catch (...) {
                break;
            }
        }
    }
    return 0644;
}

// A file replaced by the movie keeps its permissions, as when it is overwritten in place.
mode_t TargetMode(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    return NewFileMode();
}

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
    stage.GetData();
    if (12 + static_cast<uint64_t>(stage.GetSize()) + m_nBodyLength + sizeof kEndTag >
        kMaxFileLength) {
        return Fail(cannot + "the movie would be longer than an SWF file can be (4 GiB)");
    }
    std::error_code ec;
    if (!path.has_filename() || std::filesystem::is_directory(path, ec)) {
        return Fail(cannot + SystemMessage(EISDIR));
    }

    // The temporary file sits next to the target, so that renaming it into place cannot cross
    // file systems.
    std::string pattern = path.string() + ".XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return Fail(cannot + SystemMessage(errno));
    (void)::fchmod(fd, TargetMode(path));

    m_stage = stage;
    m_nFrameRate = static_cast<uint16_t>(fps << 8);
    m_fd = fd;
    m_path = path;
    m_tempPath = pattern;
    m_state = State::Open;

    // A placeholder: CloseFile writes the header again with the final length and frame count.
    const std::vector<uint8_t> header = EncodeHeader();
    m_buffer.clear();
    m_buffer.reserve(kWriteBufferSize);
    m_buffer.insert(m_buffer.end(), header.begin(), header.end());
    std::vector<uint8_t> early;
    early.swap(m_body);
    m_nBodyLength = 0;
    Append(early.data(), early.size());
    return true;
}

void CSWFMovie::SetBackgroundColor(uint8_t r, uint8_t g, uint8_t b) {
    const uint8_t tag[5] = {kSetBackgroundColorHeader[0], kSetBackgroundColorHeader[1], r, g, b};
    Append(tag, sizeof tag);
}

bool CSWFMovie::DefineObject(CSWFObject* obj, uint16_t depth, bool place) {
    if (obj == nullptr) return Fail("no character to define in " + Where());
    // A shape or button builds its tag in GetData, so GetSize comes second.
    const uint8_t* data = obj->GetData();
    const int size = obj->GetSize();
    if (data == nullptr || size <= 0) {
        return Fail("character " + std::to_string(obj->m_nId) + " has no data to write to " +
                    Where());
    }
    if (!Append(data, static_cast<std::size_t>(size))) return false;
    if (place && obj->m_nKind != SWF_KIND_BITMAP) return PlaceObject(obj, depth);
    return true;
}

bool CSWFMovie::PlaceObject(CSWFObject* obj, uint16_t depth) {
    if (obj == nullptr) return Fail("no character to place in " + Where());
    const uint8_t* matrix = obj->m_matrix.GetData();
    const auto matrixSize = static_cast<std::size_t>(obj->m_matrix.GetSize());
    BitWriter tag;
    tag.WriteU16(kPlaceObject2Header);
    tag.WriteU32(static_cast<uint32_t>(5 + matrixSize));
    tag.WriteU8(kPlaceHasMatrixAndCharacter);
    tag.WriteU16(depth);
    tag.WriteU16(obj->m_nId);
    tag.WriteBytes(matrix, matrixSize);
    return Append(tag.Bytes().data(), tag.Bytes().size());
}

bool CSWFMovie::ShowFrame() {
    if (m_nFrameCount >= kMaxFrames) {
        return Fail("cannot add frame " + std::to_string(kMaxFrames + 1) + " to " + Where() +
                    ": an SWF movie holds at most " + std::to_string(kMaxFrames) + " frames");
    }
    if (!Append(kShowFrame, sizeof kShowFrame)) return false;
    ++m_nFrameCount;
    return true;
}

bool CSWFMovie::CloseFile() {
    if (m_state == State::New) return Fail("cannot write the movie: no file is open");
    if (m_state == State::Done) return Fail("cannot write the movie: it was already closed");

    // The End tag is not part of the body; Append has kept room for it.
    if (m_nWriteError == 0 && m_buffer.size() + sizeof kEndTag > kWriteBufferSize) FlushBuffer();
    if (m_nWriteError == 0) m_buffer.insert(m_buffer.end(), kEndTag, kEndTag + sizeof kEndTag);
    if (m_nWriteError == 0) FlushBuffer();
    if (m_nWriteError == 0) WriteHeader();
    // The data must be on disk before the rename makes it the target, or a crash could leave
    // an empty file where the old one was.
    if (m_nWriteError == 0 && ::fsync(m_fd) != 0 && errno != EINVAL) FailWrite(errno);
    if (m_fd >= 0) {
        const int closed = ::close(m_fd);
        m_fd = -1;
        if (closed != 0 && m_nWriteError == 0 && errno != EINTR) FailWrite(errno);
    }
    if (m_nWriteError == 0 && ::rename(m_tempPath.c_str(), m_path.c_str()) != 0) {
        FailWrite(errno);
    }

    const bool ok = m_nWriteError == 0;
    if (!ok) DiscardTempFile();
    m_tempPath.clear();
    m_state = State::Done;
    std::vector<uint8_t>().swap(m_buffer);
    return ok ? true : Fail(m_strWriteError);
}

void CSWFMovie::Abandon() {
    DiscardTempFile();
    m_state = State::Done;
    std::vector<uint8_t>().swap(m_buffer);
    std::vector<uint8_t>().swap(m_body);
}

bool CSWFMovie::Append(const uint8_t* data, std::size_t size) {
    if (m_state == State::Done) return Fail("cannot append to " + Where() + ": it was closed");
    if (m_nWriteError != 0) return Fail(m_strWriteError);
    if (m_nHeaderSize + m_nBodyLength + size + sizeof kEndTag > kMaxFileLength) {
        return Fail("cannot append to " + Where() +
                    ": the movie would be longer than an SWF file can be (4 GiB)");
    }
    m_nBodyLength += size;
    if (size == 0) return true;
    if (m_state == State::New) {
        m_body.insert(m_body.end(), data, data + size);
        return true;
    }
    if (m_buffer.size() + size > kWriteBufferSize && !FlushBuffer()) return false;
    if (size >= kWriteBufferSize) return WriteFully(data, size);
    m_buffer.insert(m_buffer.end(), data, data + size);
    return true;
}

bool CSWFMovie::FlushBuffer() {
    const bool ok = WriteFully(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return ok;
}

bool CSWFMovie::WriteFully(const uint8_t* data, std::size_t size) {
    if (m_nWriteError != 0) return false;
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return FailWrite(n < 0 ? errno : EIO);
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CSWFMovie::WriteHeader() {
    const std::vector<uint8_t> header = EncodeHeader();
    std::size_t done = 0;
    while (done < header.size()) {
        const ssize_t n =
            ::pwrite(m_fd, header.data() + done, header.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return FailWrite(n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::vector<uint8_t> CSWFMovie::EncodeHeader() {
    const uint8_t* rect = m_stage.GetData();
    const auto rectSize = static_cast<std::size_t>(m_stage.GetSize());
    m_nHeaderSize = 12 + rectSize;
    BitWriter w;
    w.WriteBytes(reinterpret_cast<const uint8_t*>("FWS"), 3);
    w.WriteU8(kVersion);
    w.WriteU32(static_cast<uint32_t>(m_nHeaderSize + m_nBodyLength + sizeof kEndTag));
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

bool CSWFMovie::FailWrite(int error) {
    if (m_nWriteError == 0) {
        m_nWriteError = error;
        m_strWriteError = "cannot write " + m_path.string() + ": " + SystemMessage(error);
    }
    return Fail(m_strWriteError);
}

void CSWFMovie::DiscardTempFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}
