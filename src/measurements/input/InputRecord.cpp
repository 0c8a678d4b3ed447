#include "measurements/input/InputRecord.h"

#include "link/Form.h"

namespace kt {

namespace {

template <typename Io, typename F>
void Fields(Io& io, F& form) {
  MainsFields(io, form, false);
}

}  // namespace

const RecordLayout InputRecord{InputTest, InputRecordSize, Fields<RecordBuilder, const Form>,
                               Fields<RecordParser, Form>};

}  // namespace kt
