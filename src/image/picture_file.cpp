#include "image/picture_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace velmora {

bool PictureFile::Open(const std::string& path) {
  file_.reset();
  size_ = 0;
  position_ = 0;
  if (path.empty()) return false;
  file_ = platform::OpenFile(path, "rb");
  if (!file_) return false;
  const int64_t size = platform::FileSize(path);
  if (size < 0) {
    file_.reset();
    return false;
  }
  size_ = size;
  return true;
}

void PictureFile::Seek(int64_t position) {
  if (position < 0) position = 0;
  if (position > size_) position = size_;
  if (position == position_ || !file_) {
    position_ = position;
    return;
  }
  // Positions are within the measured size, so they fit the C library's offset type
  // for every file this program accepts.
  if (std::fseek(file_.get(), static_cast<long>(position), SEEK_SET) == 0) {
    position_ = position;
  } else {
    position_ = size_;
  }
}

size_t PictureFile::Read(void* destination, size_t count) {
  if (!file_ || count == 0 || position_ >= size_) return 0;
  const size_t got = std::fread(destination, 1, count, file_.get());
  position_ += static_cast<int64_t>(got);
  return got;
}

void ReadAhead::Attach(PictureFile* file) {
  file_ = file;
  bufferStart_ = file ? file->Tell() : 0;
  fill_ = next_ = 0;
}

void ReadAhead::Seek(int64_t position) {
  if (position >= bufferStart_ && position <= bufferStart_ + static_cast<int64_t>(fill_)) {
    next_ = static_cast<size_t>(position - bufferStart_);
    return;
  }
  if (file_) {
    file_->Seek(position);
    bufferStart_ = file_->Tell();
  }
  fill_ = next_ = 0;
}

bool ReadAhead::Refill() {
  if (!file_) return false;
  bufferStart_ += static_cast<int64_t>(fill_);
  file_->Seek(bufferStart_);
  fill_ = file_->Read(buffer_, kCapacity);
  next_ = 0;
  return fill_ > 0;
}

size_t ReadAhead::Read(uint8_t* destination, size_t count) {
  size_t done = 0;
  while (done < count) {
    if (next_ == fill_ && !Refill()) break;
    const size_t take = std::min(count - done, fill_ - next_);
    std::memcpy(destination + done, buffer_ + next_, take);
    next_ += take;
    done += take;
  }
  return done;
}

}  // namespace velmora
