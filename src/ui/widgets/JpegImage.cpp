#include "ui/widgets/JpegImage.h"

#include "ui/widgets/Resources.h"

#include <QFile>

#include <csetjmp>
#include <cstdio> // jpeglib.h uses FILE and size_t without including their headers

#include <jerror.h>
#include <jpeglib.h>

namespace {

// Bigger than any picture of ours by far; a damaged header must not make us allocate gigabytes.
constexpr JDIMENSION kMaxSide = 8192;

struct TJpegErrorManager {
    jpeg_error_mgr pub;     // first member: libjpeg only knows this part
    std::jmp_buf jump;
    bool dataCutShort;      // the data ended or a scan broke off before the picture was complete
    char message[JMSG_LENGTH_MAX];
};

TJpegErrorManager *errorManager(j_common_ptr cinfo)
{
    return reinterpret_cast<TJpegErrorManager *>(cinfo->err);
}

// libjpeg's default ends the process; leave the decoder instead.
[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    TJpegErrorManager *err = errorManager(cinfo);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Silent: warnings are only remembered, trace messages dropped.
void emitMessage(j_common_ptr cinfo, int msgLevel)
{
    if (msgLevel >= 0)
        return;
    TJpegErrorManager *err = errorManager(cinfo);
    cinfo->err->num_warnings++;
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) {
        if (!err->dataCutShort)
            (*cinfo->err->format_message)(cinfo, err->message);
        err->dataCutShort = true;
    }
}

// Everything between setjmp and a possible longjmp lives in the caller's frame or in libjpeg's
// own memory, so nothing here is left indeterminate or undestroyed by the jump.
bool decodeInto(jpeg_decompress_struct *cinfo, TJpegErrorManager *err, const QByteArray &data,
                QImage *image)
{
    if (setjmp(err->jump))
        return false;

    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(cinfo, TRUE);
    if (cinfo->image_width == 0 || cinfo->image_height == 0 || cinfo->image_width > kMaxSide
        || cinfo->image_height > kMaxSide) {
        std::snprintf(err->message, sizeof err->message, "Picture size %ux%u out of range",
                      cinfo->image_width, cinfo->image_height);
        return false;
    }
    cinfo->out_color_space = JCS_RGB;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != 3) {
        std::snprintf(err->message, sizeof err->message, "Unexpected %d colour components",
                      cinfo->output_components);
        return false;
    }

    *image = QImage(static_cast<int>(cinfo->output_width), static_cast<int>(cinfo->output_height),
                    QImage::Format_RGB888);
    if (image->isNull()) {
        std::snprintf(err->message, sizeof err->message, "Out of memory for the picture");
        return false;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = image->scanLine(static_cast<int>(cinfo->output_scanline));
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return !err->dataCutShort;
}

}

QImage DecodeJpeg(const QByteArray &data, QString *error)
{
    if (data.isEmpty()) {
        if (error)
            *error = QStringLiteral("Empty input file");
        return {};
    }

    jpeg_decompress_struct cinfo{};
    TJpegErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;

    QImage image;
    const bool ok = decodeInto(&cinfo, &err, data, &image);
    jpeg_destroy_decompress(&cinfo);

    if (!ok) {
        if (error)
            *error = QString::fromLocal8Bit(err.message);
        return {};
    }
    if (error)
        error->clear();
    return image;
}

QImage LoadJpegResource(const QString &path)
{
    InitK3316Resources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return DecodeJpeg(file.readAll());
}
