// Access to the MIDI outputs through Web MIDI, and what to tell a person when
// there is none. Register frames are system-exclusive messages, which a
// browser sends only with the person's explicit permission, so access is
// asked for with sysex and only on a button press.

export const midiTexts = {
    noWebMidi:
        'This browser has no Web MIDI, so the page cannot reach a synthesizer. ' +
        'Chrome, Edge and Opera have it on Windows, macOS and Linux; Firefox has it once you allow ' +
        'its site-permission prompt; Safari has none.',
    insecure:
        'Web MIDI works only on a secure page. Open Zarvel from http://localhost or an https:// address.',
    refused:
        'The browser refused access to MIDI. Zarvel sends system-exclusive messages, which need your ' +
        'permission: allow MIDI for this site (the icon at the left of the address bar), then press Connect MIDI again.',
    noOutputs:
        'No MIDI output was found. Connect the synthesizer or its MIDI interface, then press Connect MIDI again.',
    failed: 'MIDI access failed: ',
    noOutputChosen: 'No MIDI output is chosen. Press Connect MIDI and choose the synthesizer.',
    outputGone: 'The MIDI output is gone: ',
    sendFailed: 'Could not Stream. The MIDI output did not take a message: ',
};

export function webMidiAvailable() {
    return typeof navigator !== 'undefined' && typeof navigator.requestMIDIAccess === 'function';
}

// { access, outputs } or { error } with the words to show.
export async function requestOutputs() {
    if (!webMidiAvailable()) {
        return { error: globalThis.isSecureContext === false ? midiTexts.insecure : midiTexts.noWebMidi };
    }
    let access;
    try {
        access = await navigator.requestMIDIAccess({ sysex: true });
    } catch (error) {
        // Chrome says NotAllowedError, older browsers SecurityError.
        if (error?.name === 'NotAllowedError' || error?.name === 'SecurityError') return { error: midiTexts.refused };
        return { error: midiTexts.failed + (error?.message || String(error)) };
    }
    const outputs = connectedOutputs(access);
    if (outputs.length === 0) return { access, outputs, error: midiTexts.noOutputs };
    return { access, outputs };
}

export function connectedOutputs(access) {
    return [...access.outputs.values()].filter((output) => output.state !== 'disconnected');
}
