#pragma once

#include "models/image_ref.h"

#include <QSizeF>

#include <memory>
#include <variant>

namespace velmar {

class MoviePlayback;

// A medium loaded and ready to be shown: a decoded still, or a movie with its playback object,
// an optional poster and its display size in pixels. Copies share the image and the playback
// object; the last copy to go releases them. No equality. The engine publishes it on the main
// thread; renderers read copies of it on their own threads (the value itself is immutable).
class PlayoutMedia {
  public:
    struct Movie {
        std::shared_ptr<MoviePlayback> playback;
        ImageRef poster;  // may be null
        QSizeF size;
    };

    static PlayoutMedia still(ImageRef image) { return PlayoutMedia(std::move(image)); }
    static PlayoutMedia movie(std::shared_ptr<MoviePlayback> playback, ImageRef poster,
                              QSizeF size) {
        return PlayoutMedia(Movie{std::move(playback), std::move(poster), size});
    }

    bool isStill() const { return std::holds_alternative<ImageRef>(value_); }
    bool isMovie() const { return std::holds_alternative<Movie>(value_); }
    // The still image, or null for a movie.
    const ImageRef* asStill() const { return std::get_if<ImageRef>(&value_); }
    // The movie, or null for a still.
    const Movie* asMovie() const { return std::get_if<Movie>(&value_); }

  private:
    explicit PlayoutMedia(ImageRef image) : value_(std::move(image)) {}
    explicit PlayoutMedia(Movie movie) : value_(std::move(movie)) {}

    std::variant<ImageRef, Movie> value_;
};

}  // namespace velmar
