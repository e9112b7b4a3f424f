#pragma once

#include <memory>
#include <mutex>

// One batch's stop flag. Set once from the GUI thread, read at every check point of a run;
// it never goes back to false, so each batch makes a new token.
class CancelToken {
public:
    void cancel()
    {
        std::lock_guard lock(m_lock);
        m_flag = true;
    }
    bool isCancelled() const
    {
        std::lock_guard lock(m_lock);
        return m_flag;
    }
    // Throws UpscaleError::cancelled() when the flag is set.
    void check() const;

private:
    mutable std::mutex m_lock;
    bool m_flag = false;
};

using CancelTokenPtr = std::shared_ptr<CancelToken>;
