// SPDX-License-Identifier: MIT
#include "vza/archive/write/deflate_pool.h"

#include "vza/codec/block_deflater.h"

namespace vza {

namespace {

void compress(BlockDeflater& deflater, DeflatePiece& piece)
{
    piece.ok = deflater.compress(piece.dictionary.data(), piece.dictionary.size(), piece.data, piece.length, piece.last,
                                 piece.output, piece.checksum);
}

}  // namespace

DeflatePool::DeflatePool(unsigned threads, int level) : level_(level)
{
    if (threads > 1) {
        for (unsigned i = 0; i < threads; ++i)
            workers_.emplace_back([this] { work(); });
    }
}

DeflatePool::~DeflatePool()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

std::unique_ptr<DeflatePiece> DeflatePool::spare()
{
    if (spares_.empty())
        return std::make_unique<DeflatePiece>();
    std::unique_ptr<DeflatePiece> piece = std::move(spares_.back());
    spares_.pop_back();
    return piece;
}

void DeflatePool::recycle(std::unique_ptr<DeflatePiece> piece)
{
    if (piece)
        spares_.push_back(std::move(piece));
}

std::size_t DeflatePool::pending() const
{
    if (workers_.empty())
        return here_.size();
    return queue_.size() + (filling_ ? 1 : 0);
}

void DeflatePool::release()
{
    queue_.push_back(std::move(filling_));
    ++unstarted_;
    work_.notify_one();
}

void DeflatePool::submit(std::unique_ptr<DeflatePiece> piece)
{
    piece->ok = false;
    if (workers_.empty()) {
        here_.push_back(std::move(piece));
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (filling_ && (filling_->bytes + piece->length > BatchBytes || filling_->pieces.size() >= MaxBatchPieces))
        release();
    if (!filling_) {
        if (spareBatches_.empty()) {
            filling_ = std::make_unique<Batch>();
        } else {
            filling_ = std::move(spareBatches_.back());
            spareBatches_.pop_back();
        }
    }
    filling_->bytes += piece->length;
    filling_->pieces.push_back(std::move(piece));
    if (filling_->bytes >= BatchBytes)
        release();
}

std::unique_ptr<DeflatePiece> DeflatePool::take()
{
    if (workers_.empty()) {
        // No threads: the oldest piece is compressed here and now.
        if (here_.empty())
            return nullptr;
        if (!deflater_)
            deflater_ = std::make_unique<BlockDeflater>(level_);
        std::unique_ptr<DeflatePiece> piece = std::move(here_.front());
        here_.pop_front();
        compress(*deflater_, *piece);
        return piece;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    // A batch still being filled goes to the workers as soon as one of them
    // could start on it, rather than wait to be full.
    if (filling_ && unstarted_ == 0)
        release();
    if (queue_.empty())
        return nullptr;
    Batch& front = *queue_.front();
    ready_.wait(lock, [&front] { return front.done; });
    std::unique_ptr<DeflatePiece> piece = std::move(front.pieces[front.taken++]);
    if (front.taken == front.pieces.size()) {
        std::unique_ptr<Batch> batch = std::move(queue_.front());
        queue_.pop_front();
        batch->pieces.clear();
        batch->bytes = batch->taken = 0;
        batch->done = false;
        spareBatches_.push_back(std::move(batch));
    }
    return piece;
}

void DeflatePool::work()
{
    BlockDeflater deflater(level_);
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        work_.wait(lock, [this] { return stopping_ || unstarted_ > 0; });
        if (stopping_)
            return;
        Batch& batch = *queue_[queue_.size() - unstarted_];
        --unstarted_;
        lock.unlock();
        for (std::unique_ptr<DeflatePiece>& piece : batch.pieces)
            compress(deflater, *piece);
        lock.lock();
        batch.done = true;
        ready_.notify_one();
    }
}

}  // namespace vza
