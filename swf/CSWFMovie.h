#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/AtomicFile.h"
#include "base/MovieFormat.h"
#include "swf/CSWFButton.h"
#include "swf/CSWFObject.h"
#include "swf/SwfCompression.h"

// How a library names its symbols: ExportAssets (ActionScript 2's attachMovie) or SymbolClass
// (ActionScript 3 classes).
enum class SymbolTable { Exports, Classes };

// A symbol of a library: a character and the name the library gives it.
struct SwfSymbol {
    uint16_t id = 0;
    std::string name;
};

// The first version whose players read a file of this format; at least 3.
uint8_t LowestVersion(const MovieFormat& format);

// Writes one SWF file (by default uncompressed, "FWS", version 3): header, the tags in the
// order they are appended, End tag. A compressed file is written uncompressed first, then
// compressed into its place as it is closed.
//
// The file is complete or absent: it is written through an AtomicFile, and tags go through a
// bounded write buffer straight into it, so memory use does not grow with the movie; CloseFile
// patches the header (file length, frame count) and puts the file in place only when every
// write succeeded. Tags can only be appended while a file is open.
//
// Failures come back as return values; GetError then says why, naming the file and the
// system's cause. A movie writes at most one file.
class CSWFMovie {
public:
    static constexpr int kMinFrameRate = 1;
    static constexpr int kMaxFrameRate = 255;
    static constexpr int kMaxFrames = 65535;  // the frame count field is 16 bits

    CSWFMovie();
    // Abandons the file when CloseFile was not reached.
    virtual ~CSWFMovie();
    CSWFMovie(const CSWFMovie&) = delete;
    CSWFMovie& operator=(const CSWFMovie&) = delete;

    // Sets the file's format; false, and nothing changed, once a file is open or when the
    // version is below LowestVersion or above 255, or the scale is not 1 to 64.
    bool SetFormat(const MovieFormat& format);
    const MovieFormat& Format() const { return m_format; }

    // Starts writing path with a width x height pixel stage at fps whole frames per second.
    // Fails when a file is already open or was written, when fps is outside 1 to 255, when the
    // stage size cannot be held, or when the temporary file cannot be created; the movie then
    // stays as it was.
    bool OpenFile(const std::filesystem::path& path, float width, float height, int fps);
    // Appends SetBackgroundColor.
    void SetBackgroundColor(uint8_t r, uint8_t g, uint8_t b);
    // Appends the object's definition tag and, when place is true and the object's kind is
    // placed (every kind but bitmaps), a PlaceObject2 tag placing it at depth. False, and
    // nothing appended, for a null object or one without a tag.
    bool DefineObject(CSWFObject* obj, uint16_t depth, bool place);
    // Appends a PlaceObject2 tag placing the object at depth with its placement matrix.
    bool PlaceObject(CSWFObject* obj, uint16_t depth);
    // The same for a character defined earlier, by its id.
    bool PlaceCharacter(uint16_t id, uint16_t depth, CSWFMatrix& matrix);
    // Appends a RemoveObject2 tag: whatever is at depth leaves the display list.
    bool RemoveObject(uint16_t depth);
    // Appends a DoAction tag running the actions when the frame is shown.
    bool DoAction(CSWFAction& actions);
    // Appends ShowFrame. False, and nothing appended, once the movie holds kMaxFrames frames.
    // Every append fails while no file is open.
    bool ShowFrame();

    // Starts a sprite (a MovieClip symbol): until EndSprite, placements, removals, actions
    // and ShowFrames go into the sprite's own timeline, definitions into the file before it.
    // False when a sprite is already open.
    bool BeginSprite();
    // Appends the DefineSprite tag with this id holding the timeline gathered since
    // BeginSprite. False when no sprite is open or the id is 0.
    bool EndSprite(uint16_t id);
    // Appends ExportAssets or SymbolClass naming the symbols. False for no symbols, more than
    // 65535, or a name that is empty or holds a NUL.
    bool NameSymbols(SymbolTable table, const std::vector<SwfSymbol>& symbols);
    // The highest character id defined so far (0: none).
    uint16_t HighestId() const { return m_nHighestId; }
    // Appends the End tag, writes the header and puts the file in place. False when no file is
    // open or any write failed; the temporary file is then gone and an earlier file at the
    // target is untouched.
    bool CloseFile();
    // Gives up the movie: the temporary file is deleted, the target left as it was, and nothing
    // more is written.
    void Abandon();

    // Frames of the timeline being written: the open sprite's, else the file's.
    int GetFrameCount() const { return m_bInSprite ? m_nSpriteFrames : m_nFrameCount; }
    // Why the last failed operation failed (empty when none has).
    const std::string& GetError() const { return m_strError; }

private:
    enum class State { New, Open, Done };

    bool Append(const uint8_t* data, std::size_t size);
    bool Append(const std::vector<uint8_t>& tag) { return Append(tag.data(), tag.size()); }
    // Appends a tag of the timeline being written: the open sprite's, else the file's.
    bool AppendControl(const std::vector<uint8_t>& tag);
    // Puts the finished file in place, compressed when the format says so.
    bool Commit();
    bool FlushBuffer();
    // The header with the current stage, frame rate, frame count and length.
    std::vector<uint8_t> EncodeHeader();
    std::string Where() const;
    bool Fail(std::string message);
    // Fails with the file's first write error.
    bool FailWrite();

    State m_state = State::New;
    MovieFormat m_format;
    bool m_bInSprite = false;
    uint16_t m_nSpriteFrames = 0;
    std::vector<uint8_t> m_sprite;  // the open sprite's control tags
    uint16_t m_nHighestId = 0;
    uint16_t m_nFrameRate = 0x0C00;  // 8.8 fixed point
    uint16_t m_nFrameCount = 0;
    CSWFRectangle m_stage;
    std::size_t m_nHeaderSize = 0;  // bytes of the header with the current stage
    uint64_t m_nBodyLength = 0;     // bytes of all tags appended so far
    std::vector<uint8_t> m_buffer;  // tags waiting to be written to the file
    AtomicFile m_file;
    std::filesystem::path m_path;
    std::string m_strError;
};
