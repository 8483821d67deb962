#pragma once

#include <atomic>

// A value the program reads where a test may stand in for the platform (or shorten a wait):
// the program's own value unless a test has an Override in place. The value is a pointer or a
// number, read and written whole, so the worker and the probe thread may read it while the
// test's thread sets it.
template <typename T>
class TestSeam {
  public:
    // changed, when given, runs after every change, for a cache built from the value.
    constexpr explicit TestSeam(T real, void (*changed)() = nullptr)
        : m_value(real), m_changed(changed) {}
    TestSeam(const TestSeam&) = delete;
    TestSeam& operator=(const TestSeam&) = delete;

    T Get() const { return m_value.load(); }

    // For the tests only: value in place for the override's lifetime, the value it replaced
    // back when it ends, however its row ends.
    class Override {
      public:
        Override(TestSeam& seam, T value) : m_seam(seam), m_previous(seam.Exchange(value)) {}
        ~Override() { m_seam.Exchange(m_previous); }
        Override(const Override&) = delete;
        Override& operator=(const Override&) = delete;

      private:
        TestSeam& m_seam;
        const T m_previous;
    };

  private:
    T Exchange(T value) {
        T previous = m_value.exchange(value);
        if (m_changed != nullptr) m_changed();
        return previous;
    }

    std::atomic<T> m_value;
    void (*const m_changed)();
};
