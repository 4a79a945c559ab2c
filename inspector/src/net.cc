#include "net.h"

namespace vorbek {

TcpStream::TcpStream(TcpStream&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

TcpStream& TcpStream::operator=(TcpStream&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

TcpStream::~TcpStream() { close(); }

}  // namespace vorbek
