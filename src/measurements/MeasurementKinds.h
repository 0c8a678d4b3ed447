#pragma once

namespace kt {

struct Form;

// Plugs the five main test kinds (exchange, Back/Next restore, page) into
// the form.
void RegisterMeasurementKinds(Form& form);

}  // namespace kt
