#include "editor/paint/waveformimage.h"

#include <QImage>
#include <QPainter>
#include <vector>

#include "audio/formats/acmwave.h"
#include "editor/paint/wavepaint.h"

namespace murrel {

WaveformImageResult WriteWaveformImage(TMMDisplayRegistry& registry, const std::string& wav_path,
                                       const std::string& png_path, int width, int height,
                                       const DisplayProgress& progress) {
    WaveformImageResult result;
    TMMAcmWave wave;
    try {
        wave.SetFileName(wav_path);
    } catch (const std::exception& e) {
        result.error = e.what();
        return result;
    }
    const std::string key = registry.Register(wave);
    if (key.empty()) {
        result.error = "Invalid wave file...";
        return result;
    }
    try {
        result.built = !registry.Valid(key);
        const DisplayBuildResult b = registry.Build(key, wave, progress);
        if (b != DisplayBuildResult::Built) {
            result.error = b == DisplayBuildResult::Cancelled ? "cancelled" : kUnableToCreateDisplayData;
        } else {
            std::vector<int16_t> columns(size_t(4 * width));
            LoadPixelBuffer(registry, key, wave, 0, width, width, columns.data());
            QImage image(width, height, QImage::Format_RGB32);
            {
                QPainter painter(&image);
                PaintWaveLines(painter, image.rect(), columns.data(), registry.Channels(key), {});
            }
            if (image.save(QString::fromStdString(png_path), "PNG"))
                result.ok = true;
            else
                result.error = "cannot write " + png_path;
        }
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    registry.Release(key, false);
    return result;
}

}  // namespace murrel
