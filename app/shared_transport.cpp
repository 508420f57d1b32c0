#include "app/shared_transport.h"

namespace qv::app {

class SharedHttpTransport::Handle final : public platform::HttpTransport {
 public:
  explicit Handle(SharedHttpTransport& shared) : shared_(shared) {}
  platform::HttpFailure exchange(const platform::HttpTransportRequest& request,
                                 platform::HttpTransportResponse& response) override {
    std::lock_guard lock(shared_.mutex_);
    return shared_.transport_->exchange(request, response);
  }

 private:
  SharedHttpTransport& shared_;
};

std::unique_ptr<platform::HttpTransport> SharedHttpTransport::handle() {
  return std::make_unique<Handle>(*this);
}

}  // namespace qv::app
