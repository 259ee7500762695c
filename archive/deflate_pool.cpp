// SPDX-License-Identifier: MIT
#include "archive/deflate_pool.h"

#include "codec/block_deflater.h"

namespace vza {

namespace {

void compress(BlockDeflater& deflater, DeflatePiece& piece)
{
    piece.ok = deflater.compress(piece.dictionary.data(), piece.dictionary.size(), piece.data, piece.length, piece.last,
                                 piece.output, piece.checksum);
}

}  // namespace

DeflatePool::DeflatePool(unsigned threads)
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
    changed_.notify_all();
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

void DeflatePool::submit(std::unique_ptr<DeflatePiece> piece)
{
    piece->done = piece->started = piece->ok = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(piece));
        ++unstarted_;
    }
    changed_.notify_all();
}

std::unique_ptr<DeflatePiece> DeflatePool::take()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (queue_.empty())
        return nullptr;
    if (workers_.empty()) {
        // No threads: the oldest piece is compressed here and now.
        if (!here_)
            here_ = std::make_unique<BlockDeflater>();
        std::unique_ptr<DeflatePiece> piece = std::move(queue_.front());
        queue_.pop_front();
        --unstarted_;
        lock.unlock();
        compress(*here_, *piece);
        piece->done = true;
        return piece;
    }
    changed_.wait(lock, [this] { return queue_.front()->done; });
    std::unique_ptr<DeflatePiece> piece = std::move(queue_.front());
    queue_.pop_front();
    return piece;
}

void DeflatePool::work()
{
    BlockDeflater deflater;
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return stopping_ || unstarted_ > 0; });
        if (stopping_)
            return;
        DeflatePiece* piece = queue_[queue_.size() - unstarted_].get();
        --unstarted_;
        piece->started = true;
        lock.unlock();
        compress(deflater, *piece);
        lock.lock();
        piece->done = true;
        changed_.notify_all();
    }
}

}  // namespace vza
