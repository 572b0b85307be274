#include "app/Allocator.h"
#include "tests/support/TestMain.h"

#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

class TestAllocator : public QObject
{
    Q_OBJECT
private slots:
    // A block as large as a long spectrum window's buffers stays in the heap
    // instead of being mapped afresh (and handed back) on every allocation.
    void largeBlocksStayInTheHeap()
    {
#if !defined(__GLIBC__)
        QSKIP("the setting applies to glibc only");
#else
        Allocator::keepLargeBlocksInProcess();
        const size_t mappedBefore = mallinfo2().hblkhd;
        void* volatile block = std::malloc(8 << 20); // volatile: not optimised away
        QVERIFY(block);
        const size_t mappedAfter = mallinfo2().hblkhd;
        std::free(block);
        QCOMPARE(mappedAfter, mappedBefore);
#endif
    }
};

MAG_TEST_MAIN_CORE(TestAllocator)
#include "tst_allocator.moc"
