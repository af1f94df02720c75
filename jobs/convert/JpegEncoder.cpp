#include "jobs/convert/JpegEncoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <new>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "jobs/convert/BitmapEncoder.h"

#ifndef JCS_EXTENSIONS
#error "libjpeg-turbo's jpeglib.h is needed: it reads blue, green, red pixels (JCS_EXT_BGR)"
#endif

namespace {

struct JpegSettings {
    int quality;
    bool fullColor;  // chroma at full resolution (4:4:4) instead of halved both ways (4:2:0)
};

JpegSettings SettingsFor(Quality quality) {
    switch (quality) {
        case Quality::Low:
            return {50, false};
        case Quality::Normal:
            return {75, false};
        case Quality::High:
            break;
    }
    // Full-resolution colour: with 2 x 2 chroma blocks, sharp colour edges (pixel art, dithered
    // GIFs) bleed into their neighbours whatever the quality.
    return {100, true};
}

// libjpeg reports a failure by calling error_exit, which must not return: it jumps back to
// Compress, so that the failure is a result.
struct ErrorExit {
    jpeg_error_mgr manager;  // first: libjpeg hands its callbacks this member's address
    std::jmp_buf back;
};

[[noreturn]] void JumpBack(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->back, 1);
}

void Ignore(j_common_ptr) {}  // warnings and traces: libjpeg would print them on stderr

// The JPEG file goes into a vector of ours that doubles whenever libjpeg fills it.
struct VectorDestination {
    jpeg_destination_mgr manager;  // first: libjpeg hands its callbacks this member's address
    std::vector<uint8_t>* out;
};

VectorDestination& DestinationOf(j_compress_ptr info) {
    return *reinterpret_cast<VectorDestination*>(info->dest);
}

// Points libjpeg at the room in out after its first used bytes; false for want of memory.
bool MakeRoom(VectorDestination& destination, std::size_t used, std::size_t size) {
    try {
        destination.out->resize(size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    destination.manager.next_output_byte = destination.out->data() + used;
    destination.manager.free_in_buffer = size - used;
    return true;
}

void StartFile(j_compress_ptr info) {
    // About what a frame's JPEG takes at normal quality, so that most need no second block.
    const std::size_t estimate = std::size_t{info->image_width} * info->image_height / 4;
    if (!MakeRoom(DestinationOf(info), 0, std::max<std::size_t>(estimate, 4096)))
        ERREXIT(info, JERR_OUT_OF_MEMORY);
}

boolean GrowFile(j_compress_ptr info) {
    VectorDestination& destination = DestinationOf(info);
    const std::size_t full = destination.out->size();  // libjpeg filled all of it
    if (!MakeRoom(destination, full, 2 * full)) ERREXIT(info, JERR_OUT_OF_MEMORY);
    return TRUE;
}

void EndFile(j_compress_ptr info) {
    VectorDestination& destination = DestinationOf(info);
    destination.out->resize(destination.out->size() - destination.manager.free_in_buffer);
}

// The whole compression, FreeImage's writer's steps in its order. False when libjpeg failed.
// No object with a destructor may live in this function: a failure jumps back into it.
bool Compress(jpeg_compress_struct& info, ErrorExit& error, VectorDestination& destination,
              const BgrPixels& pixels, const JpegSettings& settings) {
    if (setjmp(error.back) != 0) return false;
    jpeg_create_compress(&info);
    info.dest = &destination.manager;
    info.image_width = static_cast<JDIMENSION>(pixels.width);
    info.image_height = static_cast<JDIMENSION>(pixels.height);
    info.in_color_space = JCS_EXT_BGR;  // the frame's own byte order: no copy, no swap
    info.input_components = 3;
    jpeg_set_defaults(&info);
    jpeg_simple_progression(&info);
    info.X_density = 0;
    info.Y_density = 0;
    info.density_unit = 1;  // dots per inch
    if (settings.fullColor) {
        for (int c = 0; c < 3; ++c) {
            info.comp_info[c].h_samp_factor = 1;
            info.comp_info[c].v_samp_factor = 1;
        }
    }
    jpeg_set_quality(&info, settings.quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        // libjpeg only reads the rows it is given; its API is not const-correct.
        JSAMPROW row = const_cast<JSAMPROW>(pixels.Row(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

}  // namespace

void EncodeJpeg(const BgrPixels& pixels, Quality quality, EncodedFrame& frame) {
    jpeg_compress_struct info{};
    ErrorExit error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JumpBack;
    error.manager.output_message = Ignore;
    VectorDestination destination{{}, &frame.data};
    destination.manager.init_destination = StartFile;
    destination.manager.empty_output_buffer = GrowFile;
    destination.manager.term_destination = EndFile;
    frame.ok = Compress(info, error, destination, pixels, SettingsFor(quality));
    if (frame.ok) {
        frame.data.shrink_to_fit();  // the frame may wait its turn a while: hold no spare room
    } else {
        char message[JMSG_LENGTH_MAX] = {};
        error.manager.format_message(reinterpret_cast<j_common_ptr>(&info), message);
        frame.error = message;
        frame.outOfMemory = error.manager.msg_code == JERR_OUT_OF_MEMORY;
        std::vector<uint8_t>().swap(frame.data);
    }
    jpeg_destroy_compress(&info);
}
