// The form beside an Anki package's results: which of its decks to build
// (kvzdeck build's --deck) and what each field of its note types holds
// (--columns, by the fields' names). The converter lists the decks and the
// note types as kvzdeck list does (report.package); the choices are that
// file's own, and changing one builds that file again.

// A field's roles: a table's, with the group taken from a field instead of
// the note's deck.
const FIELD_ROLES = COLUMN_ROLES.map(([role, label]) =>
  [role, role === 'group' ? 'group (in place of the deck)' : label]);

// The roles the fields have without --columns, in their order.
const DEFAULT_FIELD_ROLES = ['short1', 'long', 'short2', 'short3', 'short4', 'short5'];

function deckChoice(entry, form) {
  const decks = [['', 'every deck'], ...form.decks.map(({ name, notes }) =>
    [name, `${name} (${notes} ${notes === 1 ? 'note' : 'notes'})`])];
  const known = decks.some(([name]) => name === form.deck);
  const select = choiceList('package-deck', known ? decks : [...decks, [form.deck, form.deck]], form.deck);
  select.addEventListener('change', () => {
    // Other notes may be of other note types: the fields' roles start afresh.
    entry.table = { deck: select.value };
    rebuildEntry(entry);
  });
  return choiceRow('Deck, with its subdecks', select, '--deck');
}

// The role each field has under `columns` (a --columns list of names),
// by the field's name in lower case; none for a list of plain roles.
function rolesNamed(columns) {
  const roles = new Map();
  for (const item of columns.split(',')) {
    const at = item.lastIndexOf('=');
    if (at > 0) roles.set(item.slice(0, at).trim().toLowerCase(), item.slice(at + 1).trim());
  }
  return roles;
}

function fieldKey(name) {
  return name.trim().toLowerCase();
}

// One drop-down per field of each note type. --columns names a field by
// its name alone, so fields of the same name in two note types share
// their role: their drop-downs go together.
function fieldChoices(form) {
  const named = rolesNamed(form.columns);
  const list = document.createElement('div');
  list.id = 'package-fields';
  form.noteTypes.forEach((type, t) => {
    const heading = cell('p', `${type.name} (${type.notes} ${type.notes === 1 ? 'note' : 'notes'})`);
    heading.className = 'note-type';
    list.append(heading);
    type.fields.forEach((field, f) => {
      const role = named.get(fieldKey(field)) ?? (form.columns === '' ? DEFAULT_FIELD_ROLES[f] ?? '-' : '-');
      const select = choiceList(`package-field-${t}-${f}`, FIELD_ROLES, role);
      select.dataset.field = field;
      list.append(choiceRow(field, select));
    });
  });
  list.addEventListener('change', ({ target }) => {
    for (const select of list.querySelectorAll('select')) {
      if (fieldKey(select.dataset.field) === fieldKey(target.dataset.field)) select.value = target.value;
    }
  });
  return list;
}

// The --columns list the drop-downs give, each field's name once.
function chosenColumns(list) {
  const seen = new Set();
  const items = [];
  for (const select of list.querySelectorAll('select')) {
    const key = fieldKey(select.dataset.field);
    if (seen.has(key)) continue;
    seen.add(key);
    items.push(`${select.dataset.field}=${select.value}`);
  }
  return items.join(',');
}

function packageChoices(entry, form) {
  const intro = cell('p', 'An Anki package: the deck to build, and what each field of its note types holds (see '
    + '"How a deck is written" below for what each field is for); a field that none fills gets a filler.');
  const fields = fieldChoices(form);
  fields.addEventListener('change', () => {
    entry.table = { deck: form.deck, columns: chosenColumns(fields) };
    rebuildEntry(entry);
  });
  return [intro, deckChoice(entry, form), fields];
}
