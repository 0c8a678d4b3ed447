#include "measurements/phase/PhaseRecord.h"

#include "link/Form.h"
#include "measurements/input/InputRecord.h"

namespace kt {

namespace {

template <typename Io, typename F>
void Fields(Io& io, F& form) {
  MainsFields(io, form, true);
}

}  // namespace

const RecordLayout PhaseRecord{PhaseTest, PhaseRecordSize, Fields<RecordBuilder, const Form>,
                               Fields<RecordParser, Form>};

}  // namespace kt
