// The one way lane work hands its result back: `RunOnLane` runs a function over values on a
// lane, then hands the result to its owner on the UI thread, and drops it when the owner has
// gone meanwhile. So a lane job holds no reference into state the UI thread owns, and an owner
// may go while its work is out.
#pragma once

#include <memory>
#include <utility>

#include "core/service/job_queue.h"
#include "core/service/ui_thread.h"

namespace qv {

// Held by an owner as a member (declared last, so it expires before the rest goes): what its
// results reach it through. UI thread only.
template <typename Owner>
class LaneOwner {
 public:
  explicit LaneOwner(Owner& owner) : self_(std::make_shared<Owner*>(&owner)) {}
  LaneOwner(const LaneOwner&) = delete;
  LaneOwner& operator=(const LaneOwner&) = delete;

  // What a job carries to find the owner again; expires with the owner.
  std::weak_ptr<Owner*> Weak() const { return self_; }

 private:
  std::shared_ptr<Owner*> self_;
};

// Hands `then(owner)` to the UI thread through `post`; it runs only if the owner still lives.
// Callable from any thread.
template <typename Owner, typename Then>
void PostToOwner(const PostToUi& post, std::weak_ptr<Owner*> owner, Then then) {
  post([owner = std::move(owner), then = std::move(then)]() mutable {
    CheckUiThread();
    if (const std::shared_ptr<Owner*> alive = owner.lock()) then(**alive);
  });
}

// Runs `work()` on `lane`, then `then(owner, result)` on the UI thread while the owner lives.
// `work` must own what it uses or use only what outlives the lane's thread; UI thread only.
template <typename Owner, typename Work, typename Then>
void RunOnLane(JobQueue& lane, PostToUi post, std::weak_ptr<Owner*> owner, Work work, Then then) {
  CheckUiThread();
  lane.Submit([post = std::move(post), owner = std::move(owner), work = std::move(work),
               then = std::move(then)]() mutable {
    PostToOwner(post, std::move(owner),
                [result = work(), then = std::move(then)](Owner& alive) mutable {
                  then(alive, std::move(result));
                });
  });
}

}  // namespace qv
