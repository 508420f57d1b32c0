#include "app/shared_transport.h"

namespace qv::app {

class SharedHttpTransport::Handle final : public platform::HttpTransport {
 public:
  explicit Handle(SharedHttpTransport& shared) : shared_(shared) {}
  platform::HttpFailure Exchange(const platform::HttpTransportRequest& request,
                                 platform::HttpTransportResponse& response) override {
    std::lock_guard lock(shared_.mutex_);
    return shared_.transport_->Exchange(request, response);
  }

 private:
  SharedHttpTransport& shared_;
};

std::unique_ptr<platform::HttpTransport> SharedHttpTransport::NewHandle() {
  return std::make_unique<Handle>(*this);
}

}  // namespace qv::app
