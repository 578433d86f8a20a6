// The study settings form of the live page, built from the inputs a study
// declared on its defaults pass: a control per input by its type (yes/no as
// a switch, times as time fields, colours as colour pickers, option lists as
// selects, numbers within their declared limits), and the value text the
// server takes, the same text as `--input SLOT=VALUE`.
//
// A classic script defining the global KeelmarkSettingsForm; node's tests
// import it for the pure functions.
(function (root) {
  'use strict';

  // Value type codes of study inputs.
  const kFloat = 2, kYesNo = 5, kDate = 8, kTimeOfDay = 9, kDateTime = 10, kInteger = 11,
    kColour = 14, kSignedNoLimits = 19, kList = 22, kDouble = 23, kDateTimeWithInteger = 25;
  const kUnsigned = [1, 3, 4, 6, 13, 15, 16, 17, 24];

  // One field per declared input. `input` as the server describes it:
  // { slot, label, type, text, min?, max?, options? }.
  function formField(input) {
    const field = { slot: input.slot, label: input.label, type: input.type, text: input.text };
    switch (input.type) {
      case kYesNo: field.control = 'switch'; break;
      case kTimeOfDay: field.control = 'time'; break;
      case kColour: field.control = 'colour'; break;
      case kList: field.control = 'select'; field.options = input.options || []; break;
      case kDate: field.control = 'date'; break;
      case kDateTime:
      case kDateTimeWithInteger: field.control = 'datetime'; break;
      case kFloat:
      case kDouble: field.control = 'number'; field.whole = false; break;
      case kInteger:
      case kSignedNoLimits: field.control = 'number'; field.whole = true; break;
      default:
        if (kUnsigned.includes(input.type)) {
          field.control = 'number';
          field.whole = true;
          field.min = 0;
        } else {
          field.control = 'none';
        }
    }
    if (typeof input.min === 'number' && typeof input.max === 'number' && input.min < input.max) {
      field.min = input.min;
      field.max = input.max;
    }
    return field;
  }

  function formFields(inputs) {
    return inputs.map(formField).filter((f) => f.control !== 'none');
  }

  // The control's value for the field's current text.
  function controlValue(field) {
    switch (field.control) {
      case 'switch': return field.text === 'yes';
      case 'select': {
        const index = field.options.indexOf(field.text);
        return String(index >= 0 ? index : Number(field.text) || 0);
      }
      case 'colour': return (field.text || '#000000').toLowerCase();
      case 'datetime': return field.text.replace(' ', 'T');
      default: return field.text;
    }
  }

  // The value text the server takes, from the control's value.
  function settingText(field, value) {
    switch (field.control) {
      case 'switch': return value ? 'yes' : 'no';
      case 'select': return String(value);
      case 'colour': return String(value).toUpperCase();
      case 'datetime': return String(value).replace('T', ' ');
      default: return String(value).trim();
    }
  }

  // Why the text does not fit the field, as a sentence; null when it fits.
  // The server checks again: this only spares a round trip.
  function refusal(field, text) {
    const name = '"' + field.label + '"';
    if (field.control === 'number') {
      const pattern = field.whole ? /^[+-]?\d+$/ : /^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/;
      const kind = field.whole ? 'a whole number' : 'a number';
      const v = Number(text);
      const limited = field.min !== undefined && field.max !== undefined;
      if (!pattern.test(text) || !Number.isFinite(v) ||
          (limited && (v < field.min || v > field.max)) ||
          (!limited && field.min !== undefined && v < field.min)) {
        if (limited) return name + ' takes ' + kind + ' from ' + field.min + ' to ' + field.max + '.';
        if (field.min !== undefined) return name + ' takes ' + kind + ' from ' + field.min + '.';
        return name + ' takes ' + kind + '.';
      }
      return null;
    }
    if (field.control === 'time' && !/^\d{1,2}:\d{2}(:\d{2})?$/.test(text)) {
      return name + ' takes a time of day HH:MM or HH:MM:SS.';
    }
    if (field.control === 'colour' && !/^#[0-9A-Fa-f]{6}$/.test(text)) {
      return name + ' takes a colour #RRGGBB.';
    }
    if (field.control === 'select') {
      const index = Number(text);
      if (!/^\d+$/.test(text) || index >= field.options.length) {
        return name + ' takes one of its options.';
      }
    }
    return null;
  }

  // --- the form in the page ---

  function controlElement(field) {
    let element;
    if (field.control === 'select') {
      element = document.createElement('select');
      field.options.forEach((text, i) => {
        const option = document.createElement('option');
        option.value = String(i);
        option.textContent = text;
        element.appendChild(option);
      });
      element.value = controlValue(field);
      return element;
    }
    element = document.createElement('input');
    switch (field.control) {
      case 'switch':
        element.type = 'checkbox';
        element.className = 'switch';
        element.checked = controlValue(field);
        return element;
      case 'time': element.type = 'time'; element.step = '1'; break;
      case 'colour': element.type = 'color'; break;
      case 'date': element.type = 'date'; break;
      case 'datetime': element.type = 'datetime-local'; element.step = '1'; break;
      case 'number':
        element.type = 'number';
        element.step = field.whole ? '1' : 'any';
        if (field.min !== undefined) element.min = String(field.min);
        if (field.max !== undefined) element.max = String(field.max);
        break;
      default: element.type = 'text';
    }
    element.value = controlValue(field);
    return element;
  }

  // Fills `container` with a labelled control per field. `onChange(field,
  // text)` is called with the value text of a changed control that fits;
  // one that does not is marked and its refusal shown through `onRefused`.
  function buildForm(container, fields, onChange, onRefused) {
    container.replaceChildren();
    for (const field of fields) {
      const row = document.createElement('label');
      row.className = 'setting';
      const name = document.createElement('span');
      name.textContent = field.label;
      const element = controlElement(field);
      element.dataset.slot = String(field.slot);
      element.setAttribute('aria-label', field.label);
      element.addEventListener('change', () => {
        const text = settingText(field, field.control === 'switch' ? element.checked : element.value);
        const why = refusal(field, text);
        element.classList.toggle('refused', why !== null);
        if (why !== null) {
          onRefused(why);
        } else {
          onChange(field, text);
        }
      });
      row.append(name, element);
      container.appendChild(row);
    }
  }

  root.KeelmarkSettingsForm = { formFields, controlValue, settingText, refusal, buildForm };
})(globalThis);
